#include "tessmar/mjlog/meld.hpp"

#include <algorithm>
#include <utility>

#include "tessmar/mjlog/tiles.hpp"

namespace tessmar::mjlog {
namespace {

std::string in_code(const char* what, std::uint16_t m) { return std::string(what) + " in meld code " + std::to_string(m); }

// The called tile's group goes in front when it came from the left (3), behind the first
// hand tile from the opposite seat (2), and last from the right (1).
char* put_open(char* p, char letter, const std::uint8_t* group, std::size_t group_size, const std::uint8_t* hand,
               std::size_t hand_size, unsigned from, bool red) {
    const std::size_t before = from == 3 ? 0 : from == 2 ? 1 : hand_size;
    for (std::size_t i = 0; i < before; ++i) p = put_id_code(p, hand[i], red);
    *p++ = letter;
    for (std::size_t i = 0; i < group_size; ++i) p = put_id_code(p, group[i], red);
    for (std::size_t i = before; i < hand_size; ++i) p = put_id_code(p, hand[i], red);
    return p;
}

// At most four tiles: an insertion sort, which also spares g++ 12 a false bounds warning
// inside std::sort.
void sort_hand_order(std::uint8_t* a, std::size_t n, bool red) {
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = i; j > 0 && hand_key(a[j], red) < hand_key(a[j - 1], red); --j) std::swap(a[j], a[j - 1]);
}

}  // namespace

std::expected<Meld, std::string> decode_meld(std::uint16_t m) {
    Meld meld;
    meld.from = static_cast<std::uint8_t>(m & 3);
    if (m & 0x0004) {
        const unsigned x = m >> 10, r = x % 3, y = x / 3;
        if (y / 7 >= 3) return std::unexpected(in_code("chi of honours", m));
        const unsigned lowest = 9 * (y / 7) + y % 7;
        for (unsigned i = 0; i < 3; ++i)
            meld.ids[i] = static_cast<std::uint8_t>((lowest + i) * 4 + ((m >> (3 + 2 * i)) & 3));
        meld.kind = MeldKind::Chi;
        meld.called = meld.ids[r];
        return meld;
    }
    if (m & 0x0018) {
        const unsigned x = m >> 9, r = x % 3, kind = x / 3, u = (m >> 5) & 3;
        if (kind >= kKinds) return std::unexpected(in_code("bad tile kind", m));
        if (meld.from == 0) return std::unexpected(in_code("pon called from own seat", m));
        unsigned n = 0;
        for (unsigned copy = 0; copy < 4; ++copy)
            if (copy != u) meld.ids[n++] = static_cast<std::uint8_t>(kind * 4 + copy);
        meld.called = meld.ids[r];
        meld.kind = (m & 0x0008) ? MeldKind::Pon : MeldKind::Kakan;
        if (meld.kind == MeldKind::Kakan) meld.ids[3] = static_cast<std::uint8_t>(kind * 4 + u);
        return meld;
    }
    if (m & 0x0020) return std::unexpected(in_code("no JSON notation for nuki", m));
    const unsigned h = m >> 8;
    if (h >= kTileIds) return std::unexpected(in_code("bad tile", m));
    for (unsigned copy = 0; copy < 4; ++copy) meld.ids[copy] = static_cast<std::uint8_t>(h / 4 * 4 + copy);
    meld.kind = meld.from == 0 ? MeldKind::Ankan : MeldKind::Daiminkan;
    meld.called = static_cast<std::uint8_t>(h);
    return meld;
}

char* write_call(char* p, const Meld& meld, bool red) {
    std::uint8_t hand[4];
    std::size_t n = 0;
    switch (meld.kind) {
        case MeldKind::Chi:
            // Always from the left: the called tile, then the other two in ascending order.
            for (std::size_t i = 0; i < 3; ++i)
                if (meld.ids[i] != meld.called) hand[n++] = meld.ids[i];
            return put_open(p, 'c', &meld.called, 1, hand, n, 3, red);
        case MeldKind::Pon:
        case MeldKind::Daiminkan: {
            const std::size_t size = meld.kind == MeldKind::Pon ? 3 : 4;
            for (std::size_t i = 0; i < size; ++i)
                if (meld.ids[i] != meld.called) hand[n++] = meld.ids[i];
            sort_hand_order(hand, n, red);
            return put_open(p, meld.kind == MeldKind::Pon ? 'p' : 'm', &meld.called, 1, hand, n, meld.from, red);
        }
        case MeldKind::Kakan: {
            for (std::size_t i = 0; i < 3; ++i)
                if (meld.ids[i] != meld.called) hand[n++] = meld.ids[i];
            sort_hand_order(hand, n, red);
            const std::uint8_t group[2] = {meld.ids[3], meld.called};
            return put_open(p, 'k', group, 2, hand, n, meld.from, red);
        }
        case MeldKind::Ankan: {
            std::copy(meld.ids.begin(), meld.ids.end(), hand);
            sort_hand_order(hand, 4, red);
            // Three tiles, then the letter before the fourth.
            return put_open(p, 'a', hand + 3, 1, hand, 3, 1, red);
        }
    }
    return p;
}

}  // namespace tessmar::mjlog
