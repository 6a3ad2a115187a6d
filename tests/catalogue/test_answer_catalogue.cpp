#include "catalogue_support.hpp"
