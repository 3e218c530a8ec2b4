// Limits an edit's text to a number of GBK bytes (a Chinese character takes
// two), as the columns count their widths.
#pragma once

#include "platform/text/gbk.h"

#include <QValidator>

class GbkWidthLimit : public QValidator {
public:
    GbkWidthLimit(int bytes, QObject* parent) : QValidator(parent), bytes_(bytes) {}

    [[nodiscard]] int Bytes() const { return bytes_; }

    State validate(QString& input, int& /*pos*/) const override
    {
        return gbk::Width(input.toStdString()) <= static_cast<std::size_t>(bytes_) ? Acceptable : Invalid;
    }

private:
    int bytes_;
};
