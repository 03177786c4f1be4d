#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Holds a window of a stream, read in large blocks, so that the readers below
// can hand out views instead of copying every line or token.
class BlockInput {
  public:
    explicit BlockInput(std::istream& in);

    // Makes at least want unread bytes visible, or all that are left; returns
    // how many are visible. Earlier views into the block become invalid.
    size_t Ensure(size_t want);
    const char* Data() const { return block_.data() + pos_; }
    size_t Visible() const { return end_ - pos_; }
    void Consume(size_t n) { pos_ += n; }

  private:
    std::istream& in_;
    std::vector<char> block_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool drained_ = false;
};

// Text lines ended by LF, CR LF or a lone CR, all alike. A line holds at most
// kMaxLine characters; a longer one goes on as the next line, as it did when
// lines were read into a fixed buffer, so the rest of the file keeps its pairs.
class LineReader {
  public:
    static constexpr size_t kMaxLine = 4095;
    explicit LineReader(std::istream& in) : input_(in) {}

    // The next line without its ending; false at the end of the input. The
    // view lasts until the next call.
    bool Next(std::string_view& line);
    // The next line, or an empty one past the end of the input.
    std::string_view Take();
    // Passes over a line whose content does not matter.
    void Skip() { Take(); }

  private:
    BlockInput input_;
};

// Tokens separated by white space (space, tab, CR, LF, VT, FF). A token keeps
// at most kMaxToken characters; the rest of a longer one is passed over.
class TokenReader {
  public:
    static constexpr size_t kMaxToken = 4095;
    explicit TokenReader(std::istream& in) : input_(in) {}

    // The next token; false at the end of the input. The view lasts until the next call.
    bool Next(std::string_view& token);
    // Passes over up to n tokens; false when the input ended first.
    bool Skip(int n);

  private:
    BlockInput input_;
    std::string long_;
};

// Number conversions with the C library's atoi and atof semantics: leading
// white space, a sign, then as much of a number as there is; 0 when there is
// none. Unlike atoi, an integer out of range saturates instead of wrapping.
int ParseInt(std::string_view s);
double ParseReal(std::string_view s);

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace qm
