#include "formats/TextScan.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace qm {

namespace {

constexpr size_t kBlockSize = size_t(1) << 16;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The slow but exact route through the C library, for what from_chars does
// not read the way atof does (hexadecimal numbers, results out of range).
double StrtodOf(std::string_view s)
{
    char buffer[LineReader::kMaxLine + 1];
    const size_t n = std::min(s.size(), sizeof buffer - 1);
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
    return std::strtod(buffer, nullptr);
}

} // namespace

BlockInput::BlockInput(std::istream& in) : in_(in), block_(kBlockSize) {}

size_t BlockInput::Ensure(size_t want)
{
    if (end_ - pos_ >= want || drained_)
        return end_ - pos_;
    std::memmove(block_.data(), block_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    if (block_.size() < want)
        block_.resize(want);
    while (end_ < want && !drained_) {
        in_.read(block_.data() + end_, static_cast<std::streamsize>(block_.size() - end_));
        const auto got = in_.gcount();
        end_ += static_cast<size_t>(got);
        if (!in_ || got == 0)
            drained_ = true;
    }
    return end_ - pos_;
}

bool LineReader::Next(std::string_view& line)
{
    // One more than a full line, so that a CR ending it shows whether an LF follows.
    const size_t visible = input_.Ensure(kMaxLine + 2);
    if (visible == 0)
        return false;
    const char* p = input_.Data();
    const size_t limit = std::min(visible, kMaxLine);
    size_t n = 0;
    while (n < limit && p[n] != '\n' && p[n] != '\r')
        ++n;
    line = std::string_view(p, n);
    if (n == limit) {
        // The input ends here, or the line is too long and goes on as the next one.
        input_.Consume(n);
        return true;
    }
    const size_t ending = (p[n] == '\r' && n + 1 < visible && p[n + 1] == '\n') ? 2 : 1;
    input_.Consume(n + ending);
    return true;
}

std::string_view LineReader::Take()
{
    std::string_view line;
    return Next(line) ? line : std::string_view();
}

bool TokenReader::Next(std::string_view& token)
{
    for (;;) {
        const size_t visible = input_.Ensure(1);
        if (visible == 0)
            return false;
        const char* p = input_.Data();
        size_t n = 0;
        while (n < visible && IsSpace(p[n]))
            ++n;
        input_.Consume(n);
        if (n < visible)
            break;
    }
    const size_t visible = input_.Ensure(kMaxToken + 1);
    const char* p = input_.Data();
    const size_t limit = std::min(visible, kMaxToken);
    size_t n = 0;
    while (n < limit && !IsSpace(p[n]))
        ++n;
    if (n < kMaxToken || n == visible || IsSpace(p[n])) {
        token = std::string_view(p, n);
        input_.Consume(n);
        return true;
    }
    // Longer than a token may be: keep its head, pass over the rest.
    long_.assign(p, n);
    input_.Consume(n);
    for (;;) {
        const size_t more = input_.Ensure(1);
        if (more == 0)
            break;
        const char* q = input_.Data();
        size_t m = 0;
        while (m < more && !IsSpace(q[m]))
            ++m;
        input_.Consume(m);
        if (m < more)
            break;
    }
    token = long_;
    return true;
}

bool TokenReader::Skip(int n)
{
    std::string_view ignored;
    for (int i = 0; i < n; ++i)
        if (!Next(ignored))
            return false;
    return true;
}

int ParseInt(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long long value = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double ParseReal(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    s.remove_prefix(i);
    bool negative = false;
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    // from_chars would take a second sign and does not read hexadecimal.
    if (body.empty() || body[0] == '+' || body[0] == '-')
        return 0.0;
    if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))
        return StrtodOf(s);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        return StrtodOf(s);
    if (ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

} // namespace qm
