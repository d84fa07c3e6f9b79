# The tool's tests run the built program.
add_dependencies(test_cli brindlewick-cli)
# The end-to-end runs make their cards with the sample-card maker.
add_dependencies(test_cli brindlewick-samplecard)
