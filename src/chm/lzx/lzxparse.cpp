#include "lzxparse.h"

#include <algorithm>
#include <utility>

namespace zelbrin::chm::lzx {

namespace {

// Measured on converted office documents: longer searches and a lazy look at every match
// shorter than the longest gain a few tenths of a percent for little time; a literal is
// priced a little under page text's usual cost, which keeps short far matches out.
constexpr int NiceLength = MaxMatch;
constexpr int SearchDepth = 48;
constexpr int LazyBelow = MaxMatch;
// Data that has been compressed already (pictures) yields almost no matches: after 2^SkipShift
// fruitless searches in a row, positions are passed over unsearched, one more for each further
// 2^SkipShift, at most MaxSkip at a time; a match found ends the drought. On LibreOffice's JPEG
// and PNG pictures this takes 45% off the encoder's time for 1% more bytes; text, where
// searches seldom fail 64 times in a row, comes out as before.
constexpr int SkipShift = 6;
constexpr int MaxSkip = 16;

// Rough bit costs; the trees are only known once the group is parsed.
constexpr int LiteralBits = 5;
int matchBits(int length, int slot) {
    return (slot < NumRepeats ? 5 : 8) + extraBits(slot) + (length - MinMatch >= NumPrimaryLengths ? 4 : 0);
}

}  // namespace

Parser::Candidate Parser::evaluate(int pos, int limit) {
    Candidate best;
    const uint8_t *here = data_ + pos;
    for (int r = 0; r < NumRepeats; ++r) {
        const int offset = int(repeats_[r]);
        if (offset > pos)
            continue;
        const int len = matchLength(here, here - offset, limit);
        if (len < MinMatch)
            continue;
        const int gain = len * LiteralBits - matchBits(len, r);
        if (gain > best.gain)
            best = {len, r, offset, gain};
    }
    const int found = finder_.find(pos, limit, NiceLength, SearchDepth, matches_);
    for (int i = 0; i < found; ++i) {
        const Match &m = matches_[i];
        if (uint32_t(m.offset) == repeats_[0] || uint32_t(m.offset) == repeats_[1] || uint32_t(m.offset) == repeats_[2])
            continue;  // already weighed as a repeat, which is cheaper
        const int slot = positionSlot(uint32_t(m.offset) + 2);
        const int gain = m.length * LiteralBits - matchBits(m.length, slot);
        if (gain > best.gain)
            best = {m.length, -1, m.offset, gain};
    }
    return best;
}

void Parser::parse(const uint8_t *data, int size, ParsedGroup *out) {
    data_ = data;
    repeats_[0] = repeats_[1] = repeats_[2] = 1;
    finder_.reset(data, size);
    out->items.clear();
    out->frameCount = (size + FrameSize - 1) / FrameSize;
    std::fill(std::begin(out->frameStartItem), std::end(out->frameStartItem), 0);

    auto limitAt = [&](int pos) {
        const int frameEnd = std::min(size, (pos / FrameSize + 1) * FrameSize);
        return std::min(MaxMatch, frameEnd - pos);
    };
    auto frameBoundary = [&](int pos) {
        if (pos != FrameSize)
            return;
        out->frameStartItem[1] = out->items.size();
        std::copy(repeats_, repeats_ + NumRepeats, out->repeatsAfterFrame[0]);
    };
    auto emitLiteral = [&](int pos) {
        frameBoundary(pos);
        out->items.push_back(Item::literal(data[pos]));
    };
    auto emitMatch = [&](int pos, const Candidate &c) {
        frameBoundary(pos);
        if (c.repeat >= 0) {
            out->items.push_back(Item::match(c.length, c.repeat, 0));
            if (c.repeat > 0)
                std::swap(repeats_[0], repeats_[c.repeat]);
        } else {
            const uint32_t formatted = uint32_t(c.offset) + 2;
            out->items.push_back(Item::match(c.length, positionSlot(formatted), formatted));
            repeats_[2] = repeats_[1];
            repeats_[1] = repeats_[0];
            repeats_[0] = uint32_t(c.offset);
        }
    };

    int pos = 0;
    if (size == 0)
        return;
    int misses = 0;  // searches in a row that found nothing
    Candidate current = evaluate(0, limitAt(0));
    while (pos < size) {
        if (current.length == 0) {
            emitLiteral(pos);
            ++pos;
            for (int step = std::min(++misses >> SkipShift, MaxSkip); step > 0 && pos < size; --step)
                emitLiteral(pos++);
            if (pos < size)
                current = evaluate(pos, limitAt(pos));
            continue;
        }
        misses = 0;
        int entered = pos + 1;  // positions before this are in the hash chains
        if (current.length < LazyBelow && limitAt(pos) > 1) {
            const Candidate next = evaluate(pos + 1, limitAt(pos + 1));
            entered = pos + 2;
            if (next.gain > current.gain) {
                emitLiteral(pos);
                ++pos;
                current = next;
                continue;
            }
        }
        emitMatch(pos, current);
        const int end = pos + current.length;
        for (int p = entered; p < end; ++p)
            finder_.skip(p);
        pos = end;
        if (pos < size)
            current = evaluate(pos, limitAt(pos));
    }
    out->frameStartItem[out->frameCount] = out->items.size();
    std::copy(repeats_, repeats_ + NumRepeats, out->repeatsAfterFrame[out->frameCount - 1]);
}

}  // namespace zelbrin::chm::lzx
