#pragma once
// Whether every label of the main window shows its whole text inside its box in the font the
// window uses: the size hint in four lines, one size a line, the others uncut on one line.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QLabel>

#include "platform/qtview/BlankWrapLabel.h"
#include "platform/qtview/FormWindow.h"

namespace quillane::testing {

inline void ExpectLabelsFit(const FormWindow& window) {
    for (const char* name : {"Label5", "LabCount", "Label3", "Label4", "Label1(0)", "height(1)",
                             "Label2", "height(2)"}) {
        const auto* label = window.findChild<QLabel*>(QString::fromUtf8(name));
        ASSERT_NE(label, nullptr) << name;
        const auto* wrap = dynamic_cast<const BlankWrapLabel*>(label);
        const QString shown = wrap ? wrap->wrappedText(label->width()) : label->text();
        const QRect needed =
            label->fontMetrics().boundingRect(label->rect(), label->alignment(), shown);
        EXPECT_TRUE(label->rect().contains(needed))
            << name << " needs " << needed.width() << "x" << needed.height() << " in "
            << QFontInfo(label->font()).family().toStdString();
    }
    const auto* hint = dynamic_cast<const BlankWrapLabel*>(window.findChild<QLabel*>("Label4"));
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->wrappedText(hint->width()),
              QString::fromUtf8("小1寸：390*260\n中1寸：413*295\n大1寸：567*390\n2寸：413*626"));
}

}  // namespace quillane::testing
