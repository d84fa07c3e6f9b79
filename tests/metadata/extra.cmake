# The metadata table's model is checked with Qt's model tester.
if(TARGET test_metadata)
  target_link_libraries(test_metadata PRIVATE Qt6::Test)
endif()
