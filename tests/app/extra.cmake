# The utility-window test also starts the desktop program itself.
if(TARGET test_ui_UtilityWindowsTest)
  add_dependencies(test_ui_UtilityWindowsTest brindlewick)
endif()
