#include "ShellAssignments.h"

namespace mandel {

namespace {

bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
// Characters that end an unquoted word.
bool endsWord(char c) { return isBlank(c) || c == '\n' || c == ';' || c == '&' || c == '|' || c == '<' || c == '>' || c == '(' || c == ')'; }

// Reads one assignment value (a shell word) from text[at...].
class WordReader {
public:
    enum class Outcome { Value, Unsupported, Unterminated };

    WordReader(std::string_view text, std::size_t& at, const std::map<std::string, std::string>& set,
               const VariableLookup& lookup)
        : text_(text), at_(at), set_(set), lookup_(lookup)
    {
    }

    Outcome read(std::string& value)
    {
        // A tilde at the start of an assignment's value stands for the home folder.
        if (peek() == '~' && (at_ + 1 == text_.size() || text_[at_ + 1] == '/' || endsWord(text_[at_ + 1]))) {
            ++at_;
            value += variable("HOME");
        }
        while (at_ < text_.size() && !endsWord(text_[at_])) {
            const char c = text_[at_++];
            if (c == '\\') {
                if (at_ == text_.size())
                    break;
                const char next = text_[at_++];
                if (next != '\n')  // a backslash before a line break joins the lines
                    value += next;
            } else if (c == '\'') {
                const auto close = text_.find('\'', at_);
                if (close == std::string_view::npos)
                    return Outcome::Unterminated;
                value.append(text_.substr(at_, close - at_));
                at_ = close + 1;
            } else if (c == '"') {
                if (const Outcome o = readDoubleQuoted(value); o != Outcome::Value)
                    return o;
            } else if (c == '$') {
                if (const Outcome o = expand(value); o != Outcome::Value)
                    return o;
            } else if (c == '`') {
                return Outcome::Unsupported;  // command substitution runs programs
            } else {
                value += c;
            }
        }
        return Outcome::Value;
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    std::string variable(const std::string& name) const
    {
        if (const auto it = set_.find(name); it != set_.end())
            return it->second;
        return lookup_(name).value_or("");
    }

    Outcome readDoubleQuoted(std::string& value)
    {
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"')
                return Outcome::Value;
            if (c == '\\' && at_ < text_.size()) {
                const char next = text_[at_];
                // Inside double quotes a backslash escapes only these.
                if (next == '$' || next == '`' || next == '"' || next == '\\' || next == '\n') {
                    ++at_;
                    if (next != '\n')
                        value += next;
                    continue;
                }
                value += c;
            } else if (c == '$') {
                if (const Outcome o = expand(value); o != Outcome::Value)
                    return o;
            } else if (c == '`') {
                return Outcome::Unsupported;
            } else {
                value += c;
            }
        }
        return Outcome::Unterminated;
    }

    // After a '$': $NAME or ${NAME}; a '$' before anything else is itself.
    Outcome expand(std::string& value)
    {
        if (peek() == '{') {
            const auto close = text_.find('}', at_);
            if (close == std::string_view::npos)
                return Outcome::Unterminated;
            const std::string name(text_.substr(at_ + 1, close - at_ - 1));
            if (name.empty() || !isNameStart(name[0]))
                return Outcome::Unsupported;
            for (const char c : name)
                if (!isNameChar(c))
                    return Outcome::Unsupported;  // ${A:-b} and the like
            at_ = close + 1;
            value += variable(name);
            return Outcome::Value;
        }
        if (peek() == '(')
            return Outcome::Unsupported;
        if (!isNameStart(peek())) {
            value += '$';
            return Outcome::Value;
        }
        const std::size_t start = at_;
        while (at_ < text_.size() && isNameChar(text_[at_]))
            ++at_;
        value += variable(std::string(text_.substr(start, at_ - start)));
        return Outcome::Value;
    }

    std::string_view text_;
    std::size_t& at_;
    const std::map<std::string, std::string>& set_;
    const VariableLookup& lookup_;
};

} // namespace

std::map<std::string, std::string> readShellAssignments(std::string_view text, const VariableLookup& lookup)
{
    std::map<std::string, std::string> set;
    std::size_t at = 0;
    auto skipLine = [&] {
        const auto end = text.find('\n', at);
        at = end == std::string_view::npos ? text.size() : end + 1;
    };
    while (at < text.size()) {
        while (at < text.size() && isBlank(text[at]))
            ++at;
        if (at == text.size())
            break;
        const char c = text[at];
        if (c == '\n' || c == ';') {
            ++at;
            continue;
        }
        if (c == '#') {
            skipLine();
            continue;
        }
        if (text.substr(at, 7) == "export " || text.substr(at, 7) == "export\t")
            at += 7;
        std::size_t end = at;
        while (end < text.size() && isNameChar(text[end]))
            ++end;
        if (end == at || !isNameStart(text[at]) || end == text.size() || text[end] != '=') {
            skipLine();  // a command, not an assignment: nothing is run
            continue;
        }
        const std::string name(text.substr(at, end - at));
        at = end + 1;
        std::string value;
        const auto outcome = WordReader(text, at, set, lookup).read(value);
        if (outcome == WordReader::Outcome::Unterminated)
            break;
        if (outcome == WordReader::Outcome::Unsupported) {
            skipLine();
            continue;
        }
        set[name] = value;
    }
    return set;
}

} // namespace mandel
