#include "QtTestApplication.h"

#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app = new QApplication(argc, argv); }
    void TearDown() override {
        delete app;
        app = nullptr;
    }

private:
    int argc = 1;
    char name[16] = "tessaro-tests";
    char* argv[2] = {name, nullptr};
    QApplication* app = nullptr;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

QImage paintedImage(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
