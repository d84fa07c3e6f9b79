# The command-line tests run the built tool.
add_dependencies(test_geo brindlewick-cli)
# The map pages come from the program's resources.
target_link_libraries(test_geo PRIVATE brindlewick_resources)
# The geotagging windows' test is a window test (the sanitizer configuration builds no windows).
if(NOT BRINDLEWICK_FUZZ)
  set_tests_properties(test_ui_GeoWindowsTest PROPERTIES LABELS window)
endif()
