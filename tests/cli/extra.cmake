# The tool's tests run the built program.
add_dependencies(test_cli brindlewick-cli)
