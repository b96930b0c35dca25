#pragma once

// What the widget tests share: the windows, the service on a scripted bridge, and the Qt they drive.
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

#include "app/ant_scanner_service.h"
#include "tests/support/isolated_environment.h"
#include "tests/support/qstring_printer.h"
#include "tests/support/service_fixture.h"
#include "ui/app_version.h"
#include "ui/cda_chart_view.h"
#include "ui/comparison_window.h"
#include "ui/content_view.h"
#include "ui/lap_data_popout_view.h"
#include "ui/lap_data_table.h"
#include "ui/lap_logger_app.h"
#include "ui/lap_table_model.h"
#include "ui/main_window.h"
#include "ui/popout_lap_table.h"
#include "ui/popout_metric_tile.h"
#include "ui/settings_window.h"
#include "ui/status_card.h"

namespace draftwell::test {

// A model's column titles, left to right.
inline QStringList headerTexts(const QAbstractItemModel& model) {
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c) {
        texts << model.headerData(c, Qt::Horizontal).toString();
    }
    return texts;
}

// Windows on a service with a scripted bridge; they go before the service.
class UiTest : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        makeService();
    }
    void TearDown() override {
        windows.clear();
        ServiceFixture::TearDown();
    }

    // A window of this size (its own if empty), shown.
    template <typename Window, typename... Args> Window& open(QSize size, Args&&... args) {
        auto* window = new Window(std::forward<Args>(args)...);
        windows.emplace_back(window);
        if (!size.isEmpty()) {
            window->resize(size);
        }
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return *window;
    }

    std::vector<std::unique_ptr<QWidget>> windows;
};

} // namespace draftwell::test
