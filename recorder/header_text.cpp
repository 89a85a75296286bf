#include "recorder/header_text.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr const char* kDefaultCodePage = "WINDOWS-1251";
constexpr size_t kFieldWidth = 32;
constexpr char32_t kReplacementCharacter = 0xFFFD;

// Owns one iconv descriptor; (iconv_t)-1 means none.
class IconvHandle {
  public:
    IconvHandle() = default;
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    IconvHandle(IconvHandle&& other) noexcept : cd_(std::exchange(other.cd_, kNone)) {}
    IconvHandle& operator=(IconvHandle&& other) noexcept {
        std::swap(cd_, other.cd_);
        return *this;
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    ~IconvHandle() {
        if (Valid()) iconv_close(cd_);
    }

    bool Valid() const { return cd_ != kNone; }
    iconv_t Get() const { return cd_; }
    void Reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = kNone;
};

// The two directions of one code page: into UTF-32 for decoding, and back out of it to learn
// whether a capital letter exists in the code page.
struct CodePage {
    IconvHandle decode;
    IconvHandle encode;
};

CodePage Open(const std::string& name) {
    return CodePage{IconvHandle("UTF-32LE", name.c_str()), IconvHandle(name.c_str(), "UTF-32LE")};
}

std::u32string DecodeWith(const IconvHandle& decode, std::string_view text) {
    std::u32string result;
    if (!decode.Valid()) {
        // No converter at all: keep ASCII and mark everything else as undecodable.
        for (unsigned char c : text) result += c < 0x80 ? char32_t{c} : kReplacementCharacter;
        return result;
    }
    decode.Reset();
    std::vector<char> in(text.begin(), text.end());
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char out[256];
    while (inLeft > 0) {
        char* outPtr = out;
        size_t outLeft = sizeof out;
        size_t rc = iconv(decode.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
        const int error = rc == static_cast<size_t>(-1) ? errno : 0;
        for (const char* p = out; p + 4 <= outPtr; p += 4) {
            const auto* b = reinterpret_cast<const unsigned char*>(p);
            result +=
                static_cast<char32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t{b[3]} << 24));
        }
        if (error == EILSEQ) {
            result += kReplacementCharacter;
            ++inPtr;
            --inLeft;
            decode.Reset();
        } else if (error == EINVAL) {
            result += kReplacementCharacter;  // a sequence cut off by the end of the field
            break;
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
    return result;
}

// True when the code page can write `c`.
bool Encodable(const IconvHandle& encode, char32_t c) {
    if (!encode.Valid()) return c < 0x80;
    encode.Reset();
    unsigned char in[4];
    for (int i = 0; i < 4; ++i)
        in[i] = static_cast<unsigned char>(static_cast<uint32_t>(c) >> (8 * i));
    char* inPtr = reinterpret_cast<char*>(in);
    size_t inLeft = sizeof in;
    char out[16];
    char* outPtr = out;
    size_t outLeft = sizeof out;
    return iconv(encode.Get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
           inLeft == 0;
}

// Case mapping is taken from the C.UTF-8 locale, so that it does not depend on the locale
// the process runs in.
locale_t UnicodeLocale() {
    struct Holder {
        locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        ~Holder() {
            if (locale != nullptr) freelocale(locale);
        }
    };
    static const Holder holder;
    return holder.locale;
}

class RecorderCodePage {
  public:
    bool Select(const std::string& name) {
        if (name.empty()) return false;  // iconv would take the locale's charset
        CodePage candidate = Open(name);
        if (!candidate.decode.Valid() || !candidate.encode.Valid()) return false;
        // Blanks, dots and station codes are found in the 8-bit text, so ASCII must be itself.
        std::string ascii;
        for (char c = 0x20; c < 0x7F; ++c) ascii += c;
        const std::u32string decoded = DecodeWith(candidate.decode, ascii);
        if (decoded != std::u32string(ascii.begin(), ascii.end())) return false;
        codePage_ = std::move(candidate);
        opened_ = true;
        return true;
    }

    const CodePage& Get() {
        if (!opened_) {
            codePage_ = Open(kDefaultCodePage);
            opened_ = true;
        }
        return codePage_;
    }

  private:
    CodePage codePage_;
    bool opened_ = false;
};

RecorderCodePage& CurrentCodePage() {
    static RecorderCodePage codePage;
    return codePage;
}

void AppendUtf8(std::string& out, char32_t c) {
    const auto u = static_cast<uint32_t>(c);
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

std::string ToUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

// Reads one code point of valid UTF-8 at `pos` and moves past it; a malformed byte is
// returned as U+FFFD.
char32_t NextCodePoint(std::string_view s, size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos++]);
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (lead >= 0x80 && extra == 0) return kReplacementCharacter;
    uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (; extra > 0; --extra) {
        if (pos >= s.size() || (static_cast<unsigned char>(s[pos]) & 0xC0) != 0x80) {
            return kReplacementCharacter;
        }
        c = (c << 6) | (static_cast<unsigned char>(s[pos++]) & 0x3F);
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacementCharacter;
    return static_cast<char32_t>(c);
}

char32_t UpperCase(char32_t c, const IconvHandle& encode) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
    const locale_t locale = UnicodeLocale();
    if (locale == nullptr) return c;
    const auto upper = static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    // A capital the code page lacks (µ would become Greek Mu) is not the code page's letter.
    return upper != c && Encodable(encode, upper) ? upper : c;
}

// The field's bytes up to its first NUL, in a NUL-filled buffer one longer than the field.
struct FieldBuffer {
    char text[kFieldWidth + 1] = {};
    explicit FieldBuffer(const uint8_t* field) {
        for (size_t i = 0; i < kFieldWidth && field[i] != 0; ++i)
            text[i] = static_cast<char>(field[i]);
    }
};

}  // namespace

bool SetRecorderCodePage(const std::string& iconvName) {
    return CurrentCodePage().Select(iconvName);
}

void TrimTrailingBlanks(char* text, size_t width) {
    for (size_t i = width; i > 0 && text[i - 1] == ' '; --i) text[i - 1] = '\0';
}

void CutAtBlankOrDot(char* text, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        if (text[i] == ' ') {
            text[i] = '\0';
        } else if (text[i] == '.') {
            text[i] = '\0';
            return;
        }
    }
}

std::string DecodeRecorderText(std::string_view text) {
    return ToUtf8(DecodeWith(CurrentCodePage().Get().decode, text));
}

std::string UpperCaseRecorderText(std::string_view utf8) {
    const IconvHandle& encode = CurrentCodePage().Get().encode;
    std::string out;
    for (size_t pos = 0; pos < utf8.size();)
        AppendUtf8(out, UpperCase(NextCodePoint(utf8, pos), encode));
    return out;
}

std::string StationTextFromField(const uint8_t* field) {
    FieldBuffer buffer(field);
    TrimTrailingBlanks(buffer.text, kFieldWidth);
    CutAtBlankOrDot(buffer.text, kFieldWidth);
    return UpperCaseRecorderText(DecodeRecorderText(buffer.text));
}

std::string ChannelNameFromField(const uint8_t* field) {
    FieldBuffer buffer(field);
    TrimTrailingBlanks(buffer.text, kFieldWidth);
    return UpperCaseRecorderText(DecodeRecorderText(buffer.text));
}
