// Limits an edit's text to a number of GBK bytes (a Chinese character takes
// two), as the columns count their widths.
//
// Typed or pasted text is kept as far as it fits, as a Windows edit with a
// text limit keeps it: the new text is cut at the last whole character that
// fits, the rest of the edit's text stays. A text the program shows (a stored
// value, which may be wider than the limit when its column is) is taken
// whole while a ProgramText guard lives; edits of a text at or over the limit
// may only make it narrower.
#pragma once

#include "platform/text/gbk.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

class GbkWidthLimit : public QValidator {
public:
    GbkWidthLimit(int bytes, QLineEdit* edit) : QValidator(edit), bytes_(bytes), before_(edit->text())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { before_ = text; });
    }

    [[nodiscard]] int Bytes() const { return bytes_; }

    // Texts put into `edit` while it lives are the program's, taken whole.
    class ProgramText {
    public:
        explicit ProgramText(const QLineEdit* edit)
            : limit_(edit != nullptr ? dynamic_cast<const GbkWidthLimit*>(edit->validator()) : nullptr)
        {
            if (limit_ != nullptr) {
                ++limit_->programDepth_;
            }
        }
        ~ProgramText()
        {
            if (limit_ != nullptr) {
                --limit_->programDepth_;
            }
        }
        ProgramText(const ProgramText&) = delete;
        ProgramText& operator=(const ProgramText&) = delete;

    private:
        const GbkWidthLimit* limit_;
    };

    State validate(QString& input, int& pos) const override
    {
        const std::size_t limit = static_cast<std::size_t>(bytes_);
        if (programDepth_ > 0 || Width(input) <= limit) {
            return Acceptable;
        }
        // The new text: what lies between the start and the end that stayed.
        const qsizetype most = std::min(input.size(), before_.size());
        qsizetype head = 0;
        while (head < most && input[head] == before_[head]) {
            ++head;
        }
        qsizetype tail = 0;
        while (tail < most - head && input[input.size() - 1 - tail] == before_[before_.size() - 1 - tail]) {
            ++tail;
        }
        const std::size_t keptWidth = Width(input.left(head) + input.right(tail));
        if (keptWidth >= limit) {
            return Width(input) <= Width(before_) ? Acceptable : Invalid;
        }
        const std::string added = input.mid(head, input.size() - head - tail).toStdString();
        const QString fits = QString::fromStdString(gbk::CutToWidth(added, limit - keptWidth));
        input = input.left(head) + fits + input.right(tail);
        pos = static_cast<int>(head + fits.size());
        return Acceptable;
    }

private:
    static std::size_t Width(const QString& text) { return gbk::Width(text.toStdString()); }

    int bytes_;
    QString before_;               // the edit's text before the change being validated
    mutable int programDepth_ = 0;  // ProgramText guards alive
};
