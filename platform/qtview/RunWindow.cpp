#include "platform/qtview/RunWindow.h"

#include <QApplication>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/qtview/FormWindow.h"
#include "platform/qtview/IconArt.h"
#include "platform/qtview/QtHost.h"

namespace quillane {

namespace {

constexpr const char* kNoDisplayLine =
    "quillane: no display to show the window on; start it under one, e.g. `xvfb-run quillane`";

// With no platform chosen explicitly, Qt needs an X or Wayland display; without one it would
// abort with a long plugin diagnostic, so say it plainly instead.
bool displayLikelyAvailable() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Messages Qt gives while it sets up its platform, held back so that a failing start prints
// only the one line above and a good start still shows them.
std::vector<QString>& heldStartupMessages() {
    static std::vector<QString> held;
    return held;
}

// A display that is named but cannot be reached makes Qt's platform set-up fatal; turn that
// into the same one-line message and a plain exit code.
void startupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", kNoDisplayLine);
        std::_Exit(1);
    }
    heldStartupMessages().push_back(text);
}

}  // namespace

int RunWindow(Form& form, int argc, char** argv) {
    if (!displayLikelyAvailable()) {
        std::fprintf(stderr, "%s\n", kNoDisplayLine);
        return 1;
    }
    QCoreApplication::setApplicationName(QStringLiteral("Quillane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillane"));

    const QtMessageHandler previousHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    for (const QString& text : heldStartupMessages())
        std::fprintf(stderr, "%s\n", qPrintable(text));
    heldStartupMessages().clear();
    QApplication::setWindowIcon(quillaneIcon());

    FormWindow window(form);
    const QtHost host(&window);
    window.loadAndShow();
    return QApplication::exec();
}

}  // namespace quillane
