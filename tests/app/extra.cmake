# The item model is checked with Qt's model tester.
if(TARGET test_app)
  target_link_libraries(test_app PRIVATE Qt6::Test)
endif()
