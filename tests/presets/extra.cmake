# The preset window's test reads back through the command-line tool.
add_dependencies(test_ui_PresetWindowTest brindlewick-cli)
