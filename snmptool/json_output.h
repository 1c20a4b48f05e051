// One JSON Lines record (RFC 8259 text, one object a line), built in memory
// and written whole: a reader of a pipe never sees half a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// True when the bytes are well-formed UTF-8 (RFC 3629 section 4): no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const uint8_t* bytes, size_t length);

class JsonLine {
public:
    // `bufferBytes`: the size of standard output's buffer, which a line must
    // never straddle (so that every write the system sees holds whole lines).
    explicit JsonLine(size_t bufferBytes = 0) : m_bufferBytes(bufferBytes) {}

    // Starts a new object; what a previous line held is forgotten.
    void Begin();
    // Fields of the object being built, or of the innermost open one. Every
    // control character of a text is escaped, and a byte that is not part of
    // valid UTF-8 becomes U+FFFD.
    void Text(const char* key, std::string_view text);
    void Signed(const char* key, int64_t number);
    void Unsigned(const char* key, uint64_t number);
    void Real(const char* key, double number);
    void Boolean(const char* key, bool value);
    void Null(const char* key);
    // Lower-case pairs, no separators, every byte.
    void Hex(const char* key, const uint8_t* bytes, size_t length);
    // The current time, UTC, RFC 3339 with milliseconds.
    void Now(const char* key);
    // Dotted decimal, no leading dot.
    void Dotted(const char* key, const uint32_t* ids, uint32_t count);
    void DottedBytes(const char* key, const uint8_t* bytes, uint32_t count);
    // A nested array of objects: BeginArray, then BeginElement/EndElement per object.
    void BeginArray(const char* key);
    void BeginElement();
    void EndElement();
    void EndArray();
    // Closes the object; the whole line, its line feed included.
    const std::string& Finish();
    // Closes the object and writes the line to standard output, flushed
    // unless more lines of the same result follow. False when it could not
    // be written.
    bool Write(bool flush = true);

private:
    void Key(const char* key);
    void Quoted(std::string_view text);

    std::string m_text;
    bool m_first = true;
    size_t m_bufferBytes;
    size_t m_unflushed = 0;  // written to the buffer since the last flush
    // The quoted stamp of Now() and the millisecond it stands for.
    std::string m_stamp;
    int64_t m_stampMillis = -1;
};
