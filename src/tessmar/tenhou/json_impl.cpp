// Compiles Boost.JSON's implementation once, so the project links no Boost library.
#include <boost/json/src.hpp>
