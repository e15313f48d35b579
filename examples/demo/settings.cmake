# The settings section shows what korutil-reg exports, so the demo runs the tool it was
# built with.
target_compile_definitions(korutil-demo PRIVATE KORUTIL_REG_TOOL="$<TARGET_FILE:korutil-reg>")
add_dependencies(korutil-demo korutil-reg)
