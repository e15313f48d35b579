# The demo carries its own resource script: its strings and its toolbar's pictures.
include(${PROJECT_SOURCE_DIR}/cmake/host/KorutilResources.cmake)
korutil_add_resources(korutil-demo ${CMAKE_CURRENT_LIST_DIR}/resources.rc)
