# The main window's test also starts the desktop program itself.
if(TARGET test_ui_MainWindowTest)
  add_dependencies(test_ui_MainWindowTest brindlewick)
endif()
