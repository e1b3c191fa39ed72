#include "base/Data.hpp"
