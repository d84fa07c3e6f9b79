#include "ingest/JpegVerify.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct CheckingErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf back;
};

// A fatal error shows the library's text, then returns to the check instead of exiting.
[[noreturn]] void fatalError(j_common_ptr cinfo)
{
    auto *manager = reinterpret_cast<CheckingErrorManager *>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(manager->back, 1);
}

// Everything that may be live across the longjmp is plain C data kept outside this frame.
bool decode(jpeg_decompress_struct *cinfo, CheckingErrorManager *errors, std::FILE *file,
            JpegDecodeScale scale)
{
    if (setjmp(errors->back))
        return false;
    jpeg_create_decompress(cinfo);
    jpeg_stdio_src(cinfo, file);
    jpeg_read_header(cinfo, TRUE);
    if (scale == JpegDecodeScale::Eighth) {
        cinfo->scale_num = 1;
        cinfo->scale_denom = 8;
        // Only these two convert to grey; CMYK and YCCK files keep their colours.
        if (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_GRAYSCALE)
            cinfo->out_color_space = JCS_GRAYSCALE;
    }
    jpeg_start_decompress(cinfo);
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
        cinfo->output_width * static_cast<JDIMENSION>(cinfo->output_components), 1);
    while (cinfo->output_scanline < cinfo->output_height)
        jpeg_read_scanlines(cinfo, row, 1);
    // Reads on to the end marker, so damage after the last row still counts.
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

bool verifyJpegFile(const char *path, JpegDecodeScale scale)
{
    std::FILE *file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return false;
    }
    jpeg_decompress_struct cinfo;
    cinfo.mem = nullptr; // lets destroy do nothing if creation itself failed
    CheckingErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = fatalError;
    const bool decoded = decode(&cinfo, &errors, file, scale);
    const long warnings = errors.pub.num_warnings;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return decoded && warnings == 0;
}

bool verifyJpegFile(const char *path)
{
    return verifyJpegFile(path, JpegDecodeScale::Eighth);
}
