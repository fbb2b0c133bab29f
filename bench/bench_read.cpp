// Read throughput of read_log (text to game columns): each real log of the shared folder, and
// one large log made by repeating the kyoku entries of the densest real log (most kyoku per
// byte, so indentation does not flatter the figure). Beside it, the same text checked as plain
// JSON by the reader's own scanner, with no schema and nothing stored: the floor of reading.
//
//   bench_read [LOG_DIR]   (default: the shared/logs folder next to the repository)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tessmar/read/reader.hpp"
#include "tessmar/read/scanner.hpp"
#include "read_file.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Best time per call of `fn` over three runs of at least `min_seconds` each.
template <class Fn>
double best_seconds(Fn&& fn, double min_seconds) {
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        std::size_t n = 0;
        auto start = Clock::now();
        double elapsed = 0;
        do {
            fn();
            ++n;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < min_seconds);
        best = std::min(best, elapsed / static_cast<double>(n));
    }
    return best;
}

struct Timing {
    double us_per_read = 0;
    double mb_per_s = 0;
    double floor_mb_per_s = 0;  // the text checked as plain JSON, nothing stored
    std::size_t kyoku = 0;
    bool ok = false;
};

// Repeats the read until at least `min_seconds` have passed; the best of three runs counts.
// Each round includes freeing the columns, as a real call does.
Timing measure(const std::string& text, double min_seconds) {
    Timing t;
    auto first = tessmar::read_log(text);
    if (!first) {
        std::fprintf(stderr, "  refused: %s at byte %zu\n", first.error().message.c_str(), first.error().offset);
        return t;
    }
    t.ok = true;
    t.kyoku = first->kyokus.size();
    std::size_t sink = 0;
    double best = best_seconds([&] {
        auto r = tessmar::read_log(text);
        sink += r ? r->kyokus.size() : 1;
    }, min_seconds);
    if (sink == 0) std::puts("");  // keeps the results alive
    bool floor_ok = true;
    double floor_best = best_seconds([&] {
        tessmar::read::Scanner scanner(text);
        floor_ok = floor_ok && scanner.skip_value();
    }, min_seconds);
    t.floor_mb_per_s = floor_ok ? static_cast<double>(text.size()) / floor_best / 1e6 : 0;
    t.us_per_read = best * 1e6;
    t.mb_per_s = static_cast<double>(text.size()) / best / 1e6;
    return t;
}

// End of the JSON value starting at i (strings and brackets matched; the text is known good).
std::size_t value_end(std::string_view s, std::size_t i) {
    if (s[i] == '"') {
        for (++i; i < s.size(); ++i) {
            if (s[i] == '\\') ++i;
            else if (s[i] == '"') return i + 1;
        }
        return std::string_view::npos;
    }
    if (s[i] != '[' && s[i] != '{') return s.find_first_of(",}] \t\r\n", i);
    int depth = 0;
    bool in_string = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && --depth == 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The text of the log with its "log" entries repeated `times` times, or empty if the
// log is not in the object form with a top-level "log" key.
std::string repeat_kyoku(std::string_view s, std::size_t times) {
    std::size_t i = s.find_first_not_of(" \t\r\n");
    if (i == std::string_view::npos || s[i] != '{') return {};
    for (++i;;) {
        i = s.find('"', i);
        if (i == std::string_view::npos) return {};
        std::size_t key_end = value_end(s, i);
        std::size_t v = s.find_first_not_of(" \t\r\n:", key_end);
        if (key_end == std::string_view::npos || v == std::string_view::npos) return {};
        std::size_t end = value_end(s, v);
        if (end == std::string_view::npos) return {};
        if (s.substr(i, key_end - i) == "\"log\"" && s[v] == '[') {
            std::string_view inner = s.substr(v + 1, end - v - 2);
            std::string out(s.substr(0, v + 1));
            out.reserve(s.size() + inner.size() * times);
            for (std::size_t k = 0; k < times; ++k) {
                if (k) out += ',';
                out += inner;
            }
            out += s.substr(end - 1);
            return out;
        }
        i = s.find_first_of(",}", end);
        if (i == std::string_view::npos || s[i] == '}') return {};
        ++i;
    }
}

void row(const std::string& name, std::size_t bytes, const Timing& t) {
    if (!t.ok) {
        std::printf("%-44s %10zu %7s %12s %9s %11s\n", name.c_str(), bytes, "-", "refused", "-", "-");
        return;
    }
    std::printf("%-44s %10zu %7zu %12.1f %9.1f %11.1f\n", name.c_str(), bytes, t.kyoku, t.us_per_read, t.mb_per_s,
                t.floor_mb_per_s);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(__FILE__).parent_path().parent_path().parent_path() / "shared" / "logs";
    if (!fs::is_directory(dir)) {
        std::printf("no log folder at %s; pass one as the first argument\n", dir.string().c_str());
        return 0;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".json") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::printf("no .json logs in %s\n", dir.string().c_str());
        return 0;
    }

    std::printf("%-44s %10s %7s %12s %9s %11s\n", "log", "bytes", "kyoku", "us/read", "MB/s", "floor MB/s");
    std::string densest;
    std::string densest_name;
    double best_density = 0;
    for (const fs::path& path : files) {
        std::string text = read_file(path);
        Timing t = measure(text, 0.2);
        row(path.filename().string(), text.size(), t);
        double density = static_cast<double>(t.kyoku) / static_cast<double>(std::max<std::size_t>(text.size(), 1));
        if (t.ok && density > best_density && !repeat_kyoku(text, 1).empty()) {
            best_density = density;
            densest = std::move(text);
            densest_name = path.filename().string();
        }
    }

    if (densest.empty()) {
        std::printf("no log in the object form to build the synthetic log from\n");
        return 0;
    }
    // About 4 MB of kyoku entries.
    std::size_t times = std::max<std::size_t>(1, (4u << 20) / densest.size());
    std::string big = repeat_kyoku(densest, times);
    row("synthetic: " + densest_name.substr(0, 20) + " x" + std::to_string(times), big.size(), measure(big, 1.0));
    return 0;
}
