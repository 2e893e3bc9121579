// quillane-window-run: the benchmark's way to time the window's own run. It builds the real
// window (on whatever Qt platform is chosen; the benchmark uses "offscreen"), opens FOLDER in
// its folder list, types the sizes into the two fields as a person would and presses the start
// button. Qt's event loop runs between pictures exactly as in the window program; only the
// message boxes are printed to standard error instead of waiting for a click.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <string>

#include "app/FormMain.h"
#include "platform/base/MemoryTuning.h"
#include "platform/base/MessageBox.h"
#include "platform/qtview/FormWindow.h"
#include "platform/qtview/QtHost.h"

int main(int argc, char** argv) {
    if (argc != 6 || std::string(argv[1]) != "--width" || std::string(argv[3]) != "--height") {
        std::fprintf(stderr, "Usage: quillane-window-run --width W --height H FOLDER\n");
        return 2;
    }
    quillane::ReturnLargeBuffersToTheSystem();
    QApplication app(argc, argv);
    quillane::FormMain form;
    quillane::FormWindow window(form);
    const quillane::QtHost host(&window);
    window.loadAndShow();
    const quillane::MessageBoxPresenter shown =
        quillane::SetMessageBoxPresenter([](const quillane::MessageBoxRequest& request) {
            std::fprintf(stderr, "%s: %s\n", request.Title.c_str(), request.Prompt.c_str());
        });
    form.DirS.SetPath(argv[5]);
    for (const auto& [name, text] : {std::pair{"txtW", argv[2]}, std::pair{"txtH", argv[4]}}) {
        auto* field = window.findChild<QLineEdit*>(name);
        if (field == nullptr) return 2;
        field->selectAll();
        field->insert(QString::fromLocal8Bit(text));
    }
    window.findChild<QPushButton*>("CMD_OK")->click();
    quillane::SetMessageBoxPresenter(shown);
    return 0;
}
