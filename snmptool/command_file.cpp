// The command file: `mibcli @file` takes its words from a text file instead of
// the command line. Words are separated by spaces outside double quotes and by
// line ends; quotes stay in the words (only set values strip them); a word
// that begins with ';' drops the rest of its line.
#include <cstdio>
#include <cstring>

#include "tool.h"

namespace {

// Text-mode reading as the command files were written for it: CR LF is one
// newline, a lone CR is an ordinary character, and Ctrl+Z ends the file.
constexpr int kEndOfFile = -1;
constexpr int kCtrlZ = 26;
constexpr char kComment = ';';
constexpr char kQuote = '"';

struct TextReader {
    FILE* file;
    int lookahead;  // a character read ahead while looking for CR LF, or kNoLookahead
    bool ended;
};

constexpr int kNoLookahead = -2;

// A read error ends the reading as the end of the file does: a file that
// cannot be read further has no more words to give.
int ReadRawChar(TextReader* reader)
{
    if (reader->lookahead != kNoLookahead) {
        const int c = reader->lookahead;
        reader->lookahead = kNoLookahead;
        return c;
    }
    const int c = getc(reader->file);
    return c == EOF ? kEndOfFile : c;
}

int ReadTextChar(TextReader* reader)
{
    if (reader->ended) {
        return kEndOfFile;
    }
    int c = ReadRawChar(reader);
    if (c == '\r') {
        const int next = ReadRawChar(reader);
        if (next == '\n') {
            c = '\n';
        } else {
            reader->lookahead = next;
        }
    }
    if (c == kEndOfFile || c == kCtrlZ) {
        reader->ended = true;
        return kEndOfFile;
    }
    return c;
}

// A growable byte buffer from the SNMP allocator, so that running out of
// memory is a result we test and not an exception.
struct WordBuffer {
    char* bytes;
    size_t length;
    size_t capacity;
};

bool AppendChar(WordBuffer* word, char c)
{
    if (word->length + 1 >= word->capacity) {
        const size_t capacity = word->capacity == 0 ? 128 : word->capacity * 2;
        void* grown = SnmpUtilMemReAlloc(word->bytes, capacity);
        if (grown == nullptr) {
            return false;
        }
        word->bytes = static_cast<char*>(grown);
        word->capacity = capacity;
    }
    word->bytes[word->length] = c;
    ++word->length;
    return true;
}

// The list of stored words, grown as needed.
struct WordList {
    char** words;
    int count;
    int capacity;
};

bool StoreWord(WordList* list, const WordBuffer* word)
{
    if (list->count == list->capacity) {
        const int capacity = list->capacity == 0 ? 16 : list->capacity * 2;
        void* grown =
            SnmpUtilMemReAlloc(list->words, static_cast<size_t>(capacity) * sizeof(char*));
        if (grown == nullptr) {
            return false;
        }
        list->words = static_cast<char**>(grown);
        list->capacity = capacity;
    }
    char* copy = static_cast<char*>(SnmpUtilMemAlloc(word->length + 1));
    if (copy == nullptr) {
        return false;
    }
    memcpy(copy, word->bytes, word->length);
    copy[word->length] = '\0';
    list->words[list->count] = copy;
    ++list->count;
    return true;
}

void FreeWords(WordList* list)
{
    for (int i = 0; i < list->count; ++i) {
        SnmpUtilMemFree(list->words[i]);
    }
    SnmpUtilMemFree(list->words);
    list->words = nullptr;
    list->count = 0;
    list->capacity = 0;
}

enum class WordEnd { Space, Newline, EndOfFile };

enum class ReadResult { Word, OutOfMemory, NulByte };

// Reads one word into `word` (emptied first).
ReadResult ReadWord(TextReader* reader, WordBuffer* word, WordEnd* end)
{
    word->length = 0;
    bool insideQuotes = false;
    for (;;) {
        const int c = ReadTextChar(reader);
        if (c == kEndOfFile) {
            *end = WordEnd::EndOfFile;
            return ReadResult::Word;
        }
        if (c == '\n') {
            // A line end closes a word even inside quotes, so an unbalanced
            // quote spoils one line and not the rest of the file.
            *end = WordEnd::Newline;
            return ReadResult::Word;
        }
        if (c == ' ' && !insideQuotes) {
            *end = WordEnd::Space;
            return ReadResult::Word;
        }
        if (c == '\0') {
            // Words are handed on as NUL-terminated strings: a NUL inside one
            // would silently cut it (an empty community, a lost command word).
            return ReadResult::NulByte;
        }
        if (c == kQuote) {
            insideQuotes = !insideQuotes;
        }
        if (!AppendChar(word, static_cast<char>(c))) {
            return ReadResult::OutOfMemory;
        }
    }
}

void SkipRestOfLine(TextReader* reader)
{
    for (;;) {
        const int c = ReadTextChar(reader);
        if (c == kEndOfFile || c == '\n') {
            return;
        }
    }
}

}  // namespace

int ReadCommandFile(const char* fileName, int* count, char*** words)
{
    if (fileName == nullptr || count == nullptr || words == nullptr) {
        return 0;
    }
    *count = 0;
    *words = nullptr;
    // Binary mode: the text-mode rules are applied by ReadTextChar, the same
    // on every platform.
    FILE* file = fopen(fileName, "rb");
    if (file == nullptr) {
        return 0;
    }

    TextReader reader = {file, kNoLookahead, false};
    WordBuffer word = {nullptr, 0, 0};
    WordList list = {nullptr, 0, 0};
    bool refused = false;
    WordEnd end = WordEnd::Space;
    while (end != WordEnd::EndOfFile) {
        if (ReadWord(&reader, &word, &end) != ReadResult::Word) {
            refused = true;
            break;
        }
        if (word.length == 0) {
            continue;
        }
        if (word.bytes[0] == kComment) {
            if (end == WordEnd::Space) {
                SkipRestOfLine(&reader);
            }
            continue;
        }
        // A last word that the end of the file ends is stored like any other:
        // a file whose last line lacks its newline loses nothing.
        if (!StoreWord(&list, &word)) {
            refused = true;
            break;
        }
    }
    fclose(file);
    SnmpUtilMemFree(word.bytes);

    // Memory that cannot be had, or a file that is not text, fails the read.
    if (refused) {
        FreeWords(&list);
        return 0;
    }
    if (list.count == 0) {
        SnmpUtilMemFree(list.words);
        return 0;
    }
    *count = list.count;
    *words = list.words;
    return list.count;
}
