// The JSON Lines writer: escaping, UTF-8 checking, exact integers and time
// stamps, and one write per line.
#include "json_output.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Room for any 64-bit number, a double's shortest form or a time stamp.
constexpr size_t kNumberRoom = 40;

// The length of the UTF-8 sequence that starts at `at`, or 0 when it is not
// well-formed (RFC 3629 section 4: the second byte's range depends on the first).
size_t SequenceLength(const uint8_t* at, size_t left)
{
    const uint8_t lead = at[0];
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || at[1] < low || at[1] > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The numbers joined by '.', quoted.
template <typename Number>
void AppendDotted(std::string& text, const Number* numbers, uint32_t count)
{
    text += '"';
    char digits[kNumberRoom];
    for (uint32_t i = 0; numbers != nullptr && i < count; ++i) {
        if (i != 0) {
            text += '.';
        }
        text.append(digits, std::to_chars(digits, digits + sizeof digits, numbers[i]).ptr);
    }
    text += '"';
}

}  // namespace

bool IsValidUtf8(const uint8_t* bytes, size_t length)
{
    size_t at = 0;
    while (at < length) {
        const size_t step = SequenceLength(bytes + at, length - at);
        if (step == 0) {
            return false;
        }
        at += step;
    }
    return true;
}

void JsonLine::Begin()
{
    m_text.assign(1, '{');
    m_first = true;
}

void JsonLine::Key(const char* key)
{
    if (!m_first) {
        m_text += ',';
    }
    m_first = false;
    if (key != nullptr) {
        m_text += '"';
        m_text += key;
        m_text += "\":";
    }
}

void JsonLine::Quoted(std::string_view text)
{
    m_text += '"';
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t at = 0;
    while (at < text.size()) {
        // Most text is printable ASCII: taken in runs.
        size_t plain = at;
        while (plain < text.size() && bytes[plain] >= 0x20 && bytes[plain] < 0x7F &&
               bytes[plain] != '"' && bytes[plain] != '\\') {
            ++plain;
        }
        m_text.append(text.data() + at, plain - at);
        at = plain;
        if (at == text.size()) {
            break;
        }
        const uint8_t byte = bytes[at];
        const size_t step = SequenceLength(bytes + at, text.size() - at);
        if (step == 0) {
            // Not UTF-8: the replacement character keeps the line valid JSON.
            m_text += "\\ufffd";
            ++at;
            continue;
        }
        if (byte == '"' || byte == '\\') {
            m_text += '\\';
            m_text += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            // RFC 8259 section 7 requires only 0x00 to 0x1F; DEL is escaped
            // too, so that no record can move a terminal's cursor.
            const char escape[] = {
                '\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            m_text.append(escape, sizeof escape);
        } else {
            m_text.append(text.data() + at, step);
        }
        at += step;
    }
    m_text += '"';
}

void JsonLine::Text(const char* key, std::string_view text)
{
    Key(key);
    Quoted(text);
}

void JsonLine::Signed(const char* key, int64_t number)
{
    Key(key);
    char digits[kNumberRoom];
    m_text.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

void JsonLine::Unsigned(const char* key, uint64_t number)
{
    Key(key);
    char digits[kNumberRoom];
    m_text.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

void JsonLine::Real(const char* key, double number)
{
    // JSON has no infinity nor NaN.
    if (!std::isfinite(number)) {
        Null(key);
        return;
    }
    Key(key);
    char digits[kNumberRoom];
    m_text.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

void JsonLine::Boolean(const char* key, bool value)
{
    Key(key);
    m_text += value ? "true" : "false";
}

void JsonLine::Null(const char* key)
{
    Key(key);
    m_text += "null";
}

void JsonLine::Hex(const char* key, const uint8_t* bytes, size_t length)
{
    Key(key);
    m_text += '"';
    for (size_t i = 0; bytes != nullptr && i < length; ++i) {
        m_text += kHexDigits[bytes[i] >> 4];
        m_text += kHexDigits[bytes[i] & 0xF];
    }
    m_text += '"';
}

void JsonLine::Now(const char* key)
{
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    // A walk writes many lines in one millisecond: the stamp is made once.
    if (now.time_since_epoch().count() != m_stampMillis) {
        m_stampMillis = now.time_since_epoch().count();
        const auto day = floor<days>(now);
        const year_month_day date{day};
        const hh_mm_ss clock{now - day};
        const int fields[] = {static_cast<int>(date.year()),
                              static_cast<int>(unsigned(date.month())),
                              static_cast<int>(unsigned(date.day())),
                              static_cast<int>(clock.hours().count()),
                              static_cast<int>(clock.minutes().count()),
                              static_cast<int>(clock.seconds().count()),
                              static_cast<int>(clock.subseconds().count())};
        // 2026-12-07T12:00:00.123Z: each field's width and the character after it.
        constexpr int kWidths[] = {4, 2, 2, 2, 2, 2, 3};
        constexpr char kAfter[] = "--T::.Z";
        m_stamp.assign(1, '"');
        for (size_t i = 0; i < std::size(fields); ++i) {
            char digits[kNumberRoom];
            char* end = std::to_chars(digits, digits + sizeof digits, fields[i]).ptr;
            m_stamp.append(static_cast<size_t>(kWidths[i]) - static_cast<size_t>(end - digits),
                           '0');
            m_stamp.append(digits, end);
            m_stamp += kAfter[i];
        }
        m_stamp += '"';
    }
    Key(key);
    m_text += m_stamp;
}

void JsonLine::Dotted(const char* key, const uint32_t* ids, uint32_t count)
{
    Key(key);
    AppendDotted(m_text, ids, count);
}

void JsonLine::DottedBytes(const char* key, const uint8_t* bytes, uint32_t count)
{
    Key(key);
    AppendDotted(m_text, bytes, count);
}

void JsonLine::BeginArray(const char* key)
{
    Key(key);
    m_text += '[';
    m_first = true;
}

void JsonLine::BeginElement()
{
    Key(nullptr);
    m_text += '{';
    m_first = true;
}

void JsonLine::EndElement()
{
    m_text += '}';
    m_first = false;
}

void JsonLine::EndArray()
{
    m_text += ']';
    m_first = false;
}

const std::string& JsonLine::Finish()
{
    m_text += "}\n";
    return m_text;
}

bool JsonLine::Write(bool flush)
{
    Finish();
    bool written = true;
    if (m_unflushed + m_text.size() > m_bufferBytes) {
        written = std::fflush(stdout) == 0;
        m_unflushed = 0;
    }
    written = std::fwrite(m_text.data(), 1, m_text.size(), stdout) == m_text.size() && written;
    m_unflushed += m_text.size();
    if (flush) {
        written = std::fflush(stdout) == 0 && written;
        m_unflushed = 0;
    }
    return written;
}
