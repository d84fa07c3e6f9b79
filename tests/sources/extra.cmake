# The camera command's tests run the built tool.
add_dependencies(test_sources brindlewick-cli)
