# The item models (metadata table, field layout, lookup tables) are checked with Qt's model
# tester.
if(TARGET test_metadata)
  target_link_libraries(test_metadata PRIVATE Qt6::Test)
endif()

# The preferences and lookup window tests read what they stored back through the command-line
# tool, and ingest a card of sample files through the DNG converter.
foreach(_window test_ui_PrefsWindowTest test_ui_LookupsWindowTest)
  if(TARGET ${_window})
    target_compile_definitions(${_window} PRIVATE
      BRINDLEWICK_TESTS_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
      BRINDLEWICK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    add_dependencies(${_window} brindlewick-cli brindlewick-samplecard)
  endif()
endforeach()
