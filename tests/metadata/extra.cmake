# The item models (metadata table, field layout, lookup tables) are checked with Qt's model
# tester.
if(TARGET test_metadata)
  target_link_libraries(test_metadata PRIVATE Qt6::Test)
endif()

# The metadata windows' test reads what they stored back through the command-line tool, and
# ingests a card of sample files through the DNG converter.
if(TARGET test_ui_MetadataWindowsTest)
  target_compile_definitions(test_ui_MetadataWindowsTest PRIVATE
    BRINDLEWICK_TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    BRINDLEWICK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_dependencies(test_ui_MetadataWindowsTest brindlewick-cli brindlewick-samplecard)
endif()
