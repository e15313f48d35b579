# The registry keeps its keys and values in one SQLite database.
find_package(SQLite3 REQUIRED)
target_link_libraries(korplatform PRIVATE SQLite::SQLite3)
