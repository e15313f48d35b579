# The strings section carries its own resource script.
include(${PROJECT_SOURCE_DIR}/cmake/host/KorutilResources.cmake)
korutil_add_resources(korutil-demo ${CMAKE_CURRENT_LIST_DIR}/strings.rc)
