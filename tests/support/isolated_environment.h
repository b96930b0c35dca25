#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace draftwell::test {

// Gives each test its own home folder, settings file and locale, so nothing
// reaches the user's real settings or Documents folder.
class IsolatedEnvironment : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", root.filePath("home").toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DOCUMENTS_DIR");
        QCoreApplication::setOrganizationName(QStringLiteral("draftwell-tests"));
        QCoreApplication::setApplicationName(QStringLiteral("app-tests"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root.filePath("settings"));
        QLocale::setDefault(QLocale::c());
    }

    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        qputenv("HOME", savedHome_);
    }

    QString homePath() const { return root.filePath("home"); }

    QTemporaryDir root;

  private:
    QByteArray savedHome_;
};

} // namespace draftwell::test
