#include "tessmar/conv/convert.hpp"
namespace tessmar {
bool resolve_ambiguous_call(CallChoices&, Tile) { return true; }
bool should_retry_kyoku(const CallChoices&) { return false; }
}
