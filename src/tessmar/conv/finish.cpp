#include "tessmar/conv/convert.hpp"
namespace tessmar {
void finish_kyoku(std::vector<Event>&, const Kyoku&) {}
}
