#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QSignalSpy>
#include <QStringList>

#include <memory>
#include <vector>

namespace draftwell::test {

// Counts every signal that an object's own class declares.
class SignalRecorder {
  public:
    explicit SignalRecorder(const QObject& object) {
        const QMetaObject* mo = object.metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod m = mo->method(i);
            if (m.methodType() == QMetaMethod::Signal) {
                names_.push_back(QString::fromLatin1(m.name()));
                spies_.push_back(std::make_unique<QSignalSpy>(&object, m));
            }
        }
    }

    qsizetype count(const char* signalName) const {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == QLatin1StringView(signalName)) {
                return spies_[i]->count();
            }
        }
        return -1; // no such signal: makes a typo in a test fail
    }

    // Names of the signals emitted at least once.
    QStringList emitted() const {
        QStringList out;
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (spies_[i]->count() > 0) {
                out << names_[i];
            }
        }
        return out;
    }

  private:
    std::vector<QString> names_;
    std::vector<std::unique_ptr<QSignalSpy>> spies_;
};

} // namespace draftwell::test
