// Reads SMI modules token by token, in one pass with a few tokens of look-
// ahead and no recursion, so that neither a deep nesting nor a long file can
// exhaust the stack; memory grows only with the definitions kept.
#include "names/smi_reader.h"

#include <charconv>
#include <cstring>

namespace {

enum class Tok { End, Ident, Number, Assign, LBrace, RBrace, LParen, RParen, Semicolon, Other };

struct Token {
    Tok kind = Tok::End;
    std::string_view text;
    uint32_t line = 0;
};

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Splits the text into tokens. Comments run from "--" to the next "--" or the
// end of the line (ASN.1); quoted strings, which may span lines, and the
// '...'H / '...'B literals are dropped, so nothing inside them is read.
class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    const Token& Peek(size_t ahead)
    {
        while (count_ <= ahead) {
            ring_[(first_ + count_) % kLook] = Scan();
            ++count_;
        }
        return ring_[(first_ + ahead) % kLook];
    }

    Token Next()
    {
        Token token = Peek(0);
        first_ = (first_ + 1) % kLook;
        --count_;
        return token;
    }

    // An unended string or literal: where it started, 0 when none.
    uint32_t unendedLine = 0;

private:
    static constexpr size_t kLook = 4;

    Token Scan()
    {
        for (;;) {
            SkipBlanks();
            if (pos_ >= text_.size()) {
                return Token{Tok::End, {}, line_};
            }
            char c = text_[pos_];
            if (c == '-' && Next1() == '-') {
                SkipComment();
                continue;
            }
            if (c == '"' || c == '\'') {
                SkipQuoted(c);
                continue;
            }
            return Word();
        }
    }

    char Next1() const
    {
        return pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
    }

    void SkipBlanks()
    {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
            } else if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') {
                return;
            }
            ++pos_;
        }
    }

    void SkipComment()
    {
        pos_ += 2;
        while (pos_ < text_.size() && text_[pos_] != '\n') {
            if (text_[pos_] == '-' && Next1() == '-') {
                pos_ += 2;
                return;
            }
            ++pos_;
        }
    }

    void SkipQuoted(char quote)
    {
        uint32_t start = line_;
        size_t end = text_.find(quote, pos_ + 1);
        if (end == std::string_view::npos) {
            if (unendedLine == 0) {
                unendedLine = start;
            }
            end = text_.size() - 1;
        }
        for (size_t i = pos_; i <= end; ++i) {
            line_ += text_[i] == '\n' ? 1 : 0;
        }
        pos_ = end + 1;
        // The letter after a '...'H or '...'B literal belongs to it.
        if (quote == '\'' && pos_ < text_.size() && IsLetter(text_[pos_])) {
            ++pos_;
        }
    }

    Token Word()
    {
        size_t start = pos_;
        char c = text_[pos_];
        Tok kind = Tok::Other;
        if (IsLetter(c)) {
            kind = Tok::Ident;
            ++pos_;
            while (pos_ < text_.size()) {
                char d = text_[pos_];
                bool hyphen = d == '-' && Next1() != '-';
                if (!IsLetter(d) && !IsDigit(d) && d != '_' && !hyphen) {
                    break;
                }
                ++pos_;
            }
        } else if (IsDigit(c)) {
            kind = Tok::Number;
            while (pos_ < text_.size() && IsDigit(text_[pos_])) {
                ++pos_;
            }
        } else if (text_.compare(pos_, 3, "::=") == 0) {
            kind = Tok::Assign;
            pos_ += 3;
        } else {
            static constexpr char kMarks[] = "{}();";
            static constexpr Tok kKinds[] = {Tok::LBrace, Tok::RBrace, Tok::LParen, Tok::RParen,
                                             Tok::Semicolon};
            const char* mark = std::strchr(kMarks, c);
            kind = (mark != nullptr && c != '\0') ? kKinds[mark - kMarks] : Tok::Other;
            ++pos_;
        }
        return Token{kind, text_.substr(start, pos_ - start), line_};
    }

    std::string_view text_;
    size_t pos_ = 0;
    uint32_t line_ = 1;
    Token ring_[kLook];
    size_t first_ = 0;
    size_t count_ = 0;
};

// The macros whose invocations end in `::= { value }`.
bool AssignsIdentifier(std::string_view macro)
{
    static constexpr std::string_view kMacros[] = {
        "MODULE-IDENTITY", "OBJECT-IDENTITY",    "OBJECT-TYPE",       "NOTIFICATION-TYPE",
        "OBJECT-GROUP",    "NOTIFICATION-GROUP", "MODULE-COMPLIANCE", "AGENT-CAPABILITIES"};
    for (std::string_view known : kMacros) {
        if (macro == known) {
            return true;
        }
    }
    return false;
}

bool IsWord(const Token& token, std::string_view word)
{
    return token.kind == Tok::Ident && token.text == word;
}

class Parser {
public:
    Parser(std::string_view text, SmiFile& file) : lex_(text), file_(file) {}

    int Run()
    {
        while (lex_.Peek(0).kind != Tok::End) {
            SmiModule module;
            if (!Module(module)) {
                file_.modules.clear();
                return 0;
            }
            file_.modules.push_back(std::move(module));
        }
        if (file_.modules.empty()) {
            return Fail("no module in the file", lex_.Peek(0).line);
        }
        return 1;
    }

private:
    int Fail(const char* why, uint32_t line)
    {
        if (file_.error.empty()) {
            file_.error = why;
            file_.errorLine = lex_.unendedLine != 0 ? lex_.unendedLine : line;
            if (lex_.unendedLine != 0) {
                file_.error = "quoted text not ended";
            }
        }
        return 0;
    }

    // NAME [{ oid }] DEFINITIONS [tagging] ::= BEGIN body END
    bool Module(SmiModule& module)
    {
        Token name = lex_.Next();
        if (name.kind != Tok::Ident) {
            return Fail("no module header", name.line);
        }
        module.name = name.text;
        if (lex_.Peek(0).kind == Tok::LBrace && !SkipBlock()) {
            return false;
        }
        if (!IsWord(lex_.Next(), "DEFINITIONS")) {
            return Fail("no module header", name.line);
        }
        for (int words = 0; lex_.Peek(0).kind == Tok::Ident && words < 4; ++words) {
            lex_.Next();
        }
        Token assign = lex_.Next();
        if (assign.kind != Tok::Assign || !IsWord(lex_.Next(), "BEGIN")) {
            return Fail("DEFINITIONS not followed by ::= BEGIN", assign.line);
        }
        return Body(module);
    }

    bool Body(SmiModule& module)
    {
        for (;;) {
            Token token = lex_.Peek(0);
            if (token.kind == Tok::End) {
                return Fail("module not ended by END", token.line);
            }
            if (IsWord(token, "END")) {
                lex_.Next();
                return true;
            }
            if (IsWord(token, "EXPORTS")) {
                if (!SkipTo(Tok::Semicolon)) {
                    return false;
                }
            } else if (IsWord(token, "IMPORTS")) {
                if (!Imports(module)) {
                    return false;
                }
            } else if (token.kind == Tok::LBrace) {
                if (!SkipBlock()) {
                    return false;
                }
            } else if (token.kind == Tok::Ident) {
                if (!Assignment(module)) {
                    return false;
                }
            } else {
                lex_.Next();
            }
        }
    }

    bool Imports(SmiModule& module)
    {
        Token start = lex_.Next();
        std::vector<std::string> symbols;
        for (;;) {
            Token token = lex_.Next();
            if (token.kind == Tok::Semicolon) {
                return true;
            }
            if (IsWord(token, "FROM")) {
                Token from = lex_.Next();
                if (from.kind != Tok::Ident) {
                    return Fail("FROM without a module name", from.line);
                }
                module.imports.push_back(SmiImport{std::string(from.text), std::move(symbols)});
                symbols.clear();
                // Some modules name the source module's identifier after it.
                if (lex_.Peek(0).kind == Tok::LBrace && !SkipBlock()) {
                    return false;
                }
            } else if (token.kind == Tok::Ident) {
                symbols.emplace_back(token.text);
            } else if (token.kind == Tok::Other && token.text == ",") {
                continue;
            } else {
                // A module whose IMPORTS has no ";": the assignments begin.
                if (symbols.empty() && token.kind == Tok::Assign) {
                    return Fail("IMPORTS not ended by ;", start.line);
                }
                return Fail("IMPORTS not ended by ;", token.line);
            }
        }
    }

    // One assignment that begins with an identifier; only those that assign an
    // identifier are kept, everything else is passed over a token at a time.
    bool Assignment(SmiModule& module)
    {
        Token second = lex_.Peek(1);
        if (IsWord(second, "MACRO")) {
            lex_.Next();
            lex_.Next();
            while (!IsWord(lex_.Peek(0), "END")) {
                if (lex_.Peek(0).kind == Tok::End) {
                    return Fail("MACRO not ended by END", second.line);
                }
                lex_.Next();
            }
            lex_.Next();
            return true;
        }
        bool plain = IsWord(second, "OBJECT") && IsWord(lex_.Peek(2), "IDENTIFIER") &&
                     lex_.Peek(3).kind == Tok::Assign;
        bool macro = second.kind == Tok::Ident && AssignsIdentifier(second.text);
        bool trap = IsWord(second, "TRAP-TYPE");
        if (!plain && !macro && !trap) {
            lex_.Next();
            return true;
        }
        Token name = lex_.Next();
        SmiDefinition definition;
        definition.name = name.text;
        definition.line = name.line;
        std::string enterprise;
        // The clauses up to "::=": braces are passed whole; a TRAP-TYPE's
        // ENTERPRISE is noted on the way.
        for (;;) {
            Token token = lex_.Peek(0);
            if (token.kind == Tok::Assign) {
                lex_.Next();
                break;
            }
            if (token.kind == Tok::End || IsWord(token, "END")) {
                return Fail("definition without ::=", name.line);
            }
            if (token.kind == Tok::LBrace) {
                if (!SkipBlock()) {
                    return false;
                }
                continue;
            }
            if (trap && IsWord(token, "ENTERPRISE")) {
                lex_.Next();
                Token which = lex_.Next();
                if (which.kind != Tok::Ident) {
                    return Fail("ENTERPRISE without a name", which.line);
                }
                enterprise = which.text;
                continue;
            }
            lex_.Next();
        }
        if (trap) {
            Token number = lex_.Next();
            uint32_t value = 0;
            if (enterprise.empty() || !Number(number, value)) {
                return Fail("TRAP-TYPE without ENTERPRISE and number", name.line);
            }
            definition.parent = enterprise;
            definition.arcs = {SmiArc{0, {}}, SmiArc{value, {}}};
            definition.trap = true;
        } else if (!Value(definition)) {
            return false;
        }
        module.definitions.push_back(std::move(definition));
        return true;
    }

    bool Number(const Token& token, uint32_t& value)
    {
        if (token.kind != Tok::Number) {
            return false;
        }
        auto [end, error] =
            std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        return error == std::errc() && end == token.text.data() + token.text.size();
    }

    // { parent 7 } or { iso org(3) dod(6) 1 } or { 1 3 6 }.
    bool Value(SmiDefinition& definition)
    {
        Token open = lex_.Next();
        if (open.kind != Tok::LBrace) {
            return Fail("value is not an OBJECT IDENTIFIER", open.line);
        }
        bool first = true;
        for (;;) {
            Token token = lex_.Next();
            if (token.kind == Tok::RBrace) {
                break;
            }
            SmiArc arc{0, {}};
            if (token.kind == Tok::Ident) {
                if (lex_.Peek(0).kind != Tok::LParen) {
                    if (!first) {
                        return Fail("name inside an OBJECT IDENTIFIER value", token.line);
                    }
                    definition.parent = token.text;
                    first = false;
                    continue;
                }
                lex_.Next();
                arc.label = token.text;
                if (!Number(lex_.Next(), arc.number) || lex_.Next().kind != Tok::RParen) {
                    return Fail("bad name(number) in an OBJECT IDENTIFIER value", token.line);
                }
            } else if (!Number(token, arc.number)) {
                return Fail("bad OBJECT IDENTIFIER value", token.line);
            }
            // `{ iso org(3) }` starts at iso; `{ org(3) ... }` would start at
            // the root, so its label names the arc it stands on.
            first = false;
            if (definition.arcs.size() >= kSmiMaxArcs) {
                return Fail("OBJECT IDENTIFIER value too long", token.line);
            }
            definition.arcs.push_back(std::move(arc));
        }
        if (definition.parent.empty() && definition.arcs.empty()) {
            return Fail("empty OBJECT IDENTIFIER value", open.line);
        }
        return true;
    }

    // Passes a balanced { ... } with a bounded depth.
    bool SkipBlock()
    {
        uint32_t line = lex_.Peek(0).line;
        uint32_t depth = 0;
        do {
            Token token = lex_.Next();
            if (token.kind == Tok::End) {
                return Fail("{ not closed", line);
            }
            if (token.kind == Tok::LBrace && ++depth > kSmiMaxNesting) {
                return Fail("braces nested too deep", token.line);
            }
            if (token.kind == Tok::RBrace) {
                --depth;
            }
        } while (depth > 0);
        return true;
    }

    bool SkipTo(Tok kind)
    {
        uint32_t line = lex_.Peek(0).line;
        for (;;) {
            Token token = lex_.Next();
            if (token.kind == kind) {
                return true;
            }
            if (token.kind == Tok::End) {
                return Fail("list not ended by ;", line);
            }
        }
    }

    Lexer lex_;
    SmiFile& file_;
};

}  // namespace

int SmiReadText(std::string_view text, SmiFile& file)
{
    file = SmiFile{};
    Parser parser(text, file);
    return parser.Run();
}
