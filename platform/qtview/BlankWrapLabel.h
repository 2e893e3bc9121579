#pragma once
// A word-wrapped label that breaks its caption only at blanks. Qt's word wrap also breaks
// between any two Chinese characters: the size hint "小1寸：390*260 中1寸：413*295 ..." is
// written to break at its blanks into one size a line, and in a face narrower than the one its
// box was drawn for Qt would carry "中1" up to the end of the first line.

#include <QLabel>
#include <QString>

namespace quillane {

class BlankWrapLabel : public QLabel {
  public:
    using QLabel::QLabel;

    // The caption broken into lines (joined by '\n') at its blanks, each line as many words as
    // fit width in the label's font; a word wider than width keeps a line of its own.
    QString wrappedText(int width) const;

    int heightForWidth(int width) const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillane
