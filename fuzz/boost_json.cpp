// Boost.JSON compiled once per harness: the harnesses' own checks and mutator read JSON with it
// (the core does not use it).
#include <boost/json/src.hpp>
