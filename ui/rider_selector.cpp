#include "ui/rider_selector.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>

#include "app/ant_scanner_service.h"

namespace draftwell {

RiderSelector::RiderSelector(ANTScannerService& service, QWidget* parent)
    : QWidget(parent), service_(service) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    riderBox_ = new QComboBox(this);
    riderBox_->setObjectName(QStringLiteral("riderBox"));
    riderBox_->setPlaceholderText(QStringLiteral("None heard yet"));
    riderBox_->setAccessibleName(QStringLiteral("Rider"));
    nameField_ = new QLineEdit(this);
    nameField_->setObjectName(QStringLiteral("riderNameField"));
    nameField_->setPlaceholderText(QStringLiteral("Name of this rider"));
    nameField_->setAccessibleName(QStringLiteral("Rider name"));
    auto* riderLabel = new QLabel(QStringLiteral("Rider"), this);
    riderLabel->setBuddy(riderBox_);
    auto* nameLabel = new QLabel(QStringLiteral("Name"), this);
    nameLabel->setBuddy(nameField_);
    grid->addWidget(riderLabel, 0, 0);
    grid->addWidget(riderBox_, 0, 1);
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(nameField_, 1, 1);
    grid->setColumnStretch(1, 1);

    connect(riderBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < riders_.size()) {
            service_.setFollowedRider(riders_[static_cast<std::size_t>(index)]);
        }
    });
    // Stored when editing ends: trimming while typing would eat the spaces.
    connect(nameField_, &QLineEdit::editingFinished, this, [this] {
        if (const auto followed = service_.followedRider()) {
            service_.setRiderName(*followed, nameField_->text());
        }
    });
    for (auto signal : {&ANTScannerService::ridersChanged, &ANTScannerService::followedRiderChanged,
                        &ANTScannerService::riderNamesChanged}) {
        connect(&service_, signal, this, &RiderSelector::rebuild);
    }
    rebuild();
}

void RiderSelector::rebuild() {
    const QSignalBlocker blocker(riderBox_);
    riders_ = service_.riders();
    riderBox_->clear();
    for (const RiderKey rider : riders_) {
        riderBox_->addItem(service_.riderLabel(rider));
    }
    const auto followed = service_.followedRider();
    const auto at = followed ? std::find(riders_.begin(), riders_.end(), *followed) : riders_.end();
    riderBox_->setCurrentIndex(at == riders_.end() ? -1 : static_cast<int>(at - riders_.begin()));
    riderBox_->setEnabled(!riders_.empty());
    // Only numbered transmitters can be recognised again, so only they keep a name.
    nameField_->setEnabled(followed && followed->has_value());
    const QString name = followed ? service_.riderName(*followed) : QString();
    if (nameField_->text() != name) {
        nameField_->setText(name);
    }
}

} // namespace draftwell
