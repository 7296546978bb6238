# nlohmann/json, the header-only JSON reader of hub-replay's scripts (Debian:
# nlohmann-json3-dev), as the target nlohmann_json::nlohmann_json.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/header_library.cmake)
hub_header_library(nlohmann_json::nlohmann_json nlohmann_json NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp nlohmann
                   nlohmann-json3-dev)
