# Previews of HEIF pictures and movies need the media decoders.
target_link_libraries(test_platform PRIVATE brindlewick_media)
