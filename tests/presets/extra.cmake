# The preset window's test reads back through the command-line tool.
if(TARGET test_ui_PresetWindowTest)
  add_dependencies(test_ui_PresetWindowTest brindlewick-cli)
endif()
