# The command-line tests run the built tool.
add_dependencies(test_geo brindlewick-cli)
