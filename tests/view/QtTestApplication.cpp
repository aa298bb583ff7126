#include "QtTestApplication.h"

#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The one QApplication of a widget test program, made before the first test.
class QtApplication : public ::testing::Environment {
    void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { app.reset(); }

    int argc = 1;
    char name[16] = "tessaro-tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace

QImage paintedImage(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

#if defined(__SANITIZE_THREAD__)
// Qt's own libraries are not built for ThreadSanitizer: the allocations,
// copies and waits that Qt's internal worker pools make on behalf of QPainter
// and QImage carry synchronisation the checker cannot see. Tessaro's code is
// instrumented and still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n";
}
#endif
