// geomconv without the map-object layer: only `blob blob` converts.
#include "geomconv.h"

namespace geomconv {

Line object_conversion(const std::string&, const std::string&, const std::string&, bool,
                       std::string* error) {
    *error = "only blob to blob converts in this build";
    return nullptr;
}

void object_conversion_end() {}

}  // namespace geomconv
