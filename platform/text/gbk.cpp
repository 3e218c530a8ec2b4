// GBK conversion through the C library's iconv.
//
// One pair of conversion descriptors per thread is opened on first use and
// kept; a descriptor is reset before each conversion. Text that cannot be
// converted is replaced character by character with '?', so a conversion
// never fails.
#include "platform/text/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace gbk {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can and appends it to `out`. On return `in` has
    // been advanced past what was converted; the result is 0 at the end of
    // the input, EILSEQ at an unconvertible sequence, EINVAL at an incomplete
    // one.
    int Convert(std::string_view& in, std::string& out)
    {
        char buffer[1024];
        auto* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        int result = 0;
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) {
                    continue;
                }
                result = errno;
                break;
            }
        }
        in.remove_prefix(in.size() - srcLeft);
        return result;
    }

    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

Converter& Encoder()
{
    thread_local Converter c("GBK", "UTF-8");
    return c;
}

Converter& Decoder()
{
    thread_local Converter c("UTF-8", "GBK");
    return c;
}

bool IsAscii(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

// Length of the UTF-8 sequence starting at s[0]; 1 for a stray byte.
std::size_t Utf8Length(std::string_view s)
{
    auto lead = static_cast<unsigned char>(s[0]);
    std::size_t n = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (n > s.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return n;
}

// GBK width of one UTF-8 character: 2 for a double-byte character, 1 for
// ASCII and for whatever GBK cannot encode (it becomes '?').
std::size_t CharWidth(std::string_view ch)
{
    if (ch.size() == 1) {
        return 1;
    }
    Converter& enc = Encoder();
    enc.Reset();
    std::string out;
    return enc.Convert(ch, out) == 0 ? out.size() : 1;
}

}  // namespace

std::string FromUtf8(std::string_view utf8)
{
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    Converter& enc = Encoder();
    enc.Reset();
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        if (enc.Convert(utf8, out) == 0) {
            break;
        }
        // Not encodable or not UTF-8 at all: one '?' for the character.
        out += '?';
        utf8.remove_prefix(Utf8Length(utf8));
        enc.Reset();
    }
    return out;
}

std::string ToUtf8(std::string_view text)
{
    if (IsAscii(text)) {
        return std::string(text);
    }
    Converter& dec = Decoder();
    dec.Reset();
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    while (!text.empty()) {
        int rc = dec.Convert(text, out);
        if (rc == 0 || rc == EINVAL) {
            break;  // done, or a lead byte cut off at the end
        }
        out += '?';
        auto lead = static_cast<unsigned char>(text[0]);
        bool pair = IsLeadByte(lead) && text.size() > 1 && static_cast<unsigned char>(text[1]) >= 0x40
                    && static_cast<unsigned char>(text[1]) != 0x7F && static_cast<unsigned char>(text[1]) != 0xFF;
        text.remove_prefix(pair ? 2 : 1);
        dec.Reset();
    }
    return out;
}

std::size_t Width(std::string_view utf8)
{
    if (IsAscii(utf8)) {
        return utf8.size();
    }
    return FromUtf8(utf8).size();
}

std::string CutToWidth(std::string_view utf8, std::size_t bytes)
{
    if (utf8.size() <= bytes && IsAscii(utf8)) {
        return std::string(utf8);
    }
    std::size_t width = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::string_view rest = utf8.substr(pos);
        std::size_t len = Utf8Length(rest);
        std::size_t w = CharWidth(rest.substr(0, len));
        if (width + w > bytes) {
            break;
        }
        width += w;
        pos += len;
    }
    return std::string(utf8.substr(0, pos));
}

}  // namespace gbk
