# The item model is checked with Qt's model tester.
if(TARGET test_items)
  target_link_libraries(test_items PRIVATE Qt6::Test)
endif()
