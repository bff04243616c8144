# The strict structural check of hive images, for the hive tests and the
# fuzz targets alike (no library beyond the core's upcase table).
add_library(vornex_hive_check STATIC ${PROJECT_SOURCE_DIR}/tests/hive/regf_check.cpp)
target_include_directories(vornex_hive_check PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vornex_hive_check PUBLIC vornex_core)
target_compile_options(vornex_hive_check PRIVATE ${VORNEX_WARNINGS})

# The whole-tree walk over the reader, for the hive tests and the fuzz targets.
add_library(vornex_hive_walk STATIC ${PROJECT_SOURCE_DIR}/tests/hive/regf_walk.cpp)
target_include_directories(vornex_hive_walk PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vornex_hive_walk PUBLIC vornex_hive_image)
target_compile_options(vornex_hive_walk PRIVATE ${VORNEX_WARNINGS})
