# Drawing: FreeType and fontconfig for text, libpng for pictures.
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
find_package(PNG REQUIRED)
target_link_libraries(korplatform PRIVATE Freetype::Freetype Fontconfig::Fontconfig PNG::PNG)
