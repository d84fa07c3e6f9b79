#pragma once

#include <QString>

#include <gphoto2/gphoto2.h>

#include <optional>

// Every libgphoto2 function the camera worker calls. The list is the whole contract with the
// library: a function called through GPhotoLibrary but missing here does not build.
#define BRINDLEWICK_GPHOTO_FUNCTIONS(X)                                                            \
    X(gp_abilities_list_detect)                                                                    \
    X(gp_abilities_list_free)                                                                      \
    X(gp_abilities_list_get_abilities)                                                             \
    X(gp_abilities_list_load)                                                                      \
    X(gp_abilities_list_lookup_model)                                                              \
    X(gp_abilities_list_new)                                                                       \
    X(gp_camera_exit)                                                                              \
    X(gp_camera_file_get)                                                                          \
    X(gp_camera_file_get_info)                                                                     \
    X(gp_camera_file_read)                                                                         \
    X(gp_camera_folder_list_files)                                                                 \
    X(gp_camera_folder_list_folders)                                                               \
    X(gp_camera_free)                                                                              \
    X(gp_camera_init)                                                                              \
    X(gp_camera_new)                                                                               \
    X(gp_camera_set_abilities)                                                                     \
    X(gp_camera_set_port_info)                                                                     \
    X(gp_camera_unref)                                                                             \
    X(gp_context_new)                                                                              \
    X(gp_context_set_cancel_func)                                                                  \
    X(gp_context_unref)                                                                            \
    X(gp_file_get_data_and_size)                                                                   \
    X(gp_file_new)                                                                                 \
    X(gp_file_new_from_fd)                                                                         \
    X(gp_file_unref)                                                                               \
    X(gp_list_count)                                                                               \
    X(gp_list_free)                                                                                \
    X(gp_list_get_name)                                                                            \
    X(gp_list_get_value)                                                                           \
    X(gp_list_new)                                                                                 \
    X(gp_list_reset)                                                                               \
    X(gp_port_info_list_free)                                                                      \
    X(gp_port_info_list_get_info)                                                                  \
    X(gp_port_info_list_load)                                                                      \
    X(gp_port_info_list_lookup_path)                                                               \
    X(gp_port_info_list_new)                                                                       \
    X(gp_result_as_string)

// libgphoto2, opened when a camera is first looked for rather than linked: the library and the
// port library, drivers and their dependencies it pulls in would otherwise be mapped and
// relocated at every start of the command-line tool, most of whose commands never see a camera.
// The members carry the functions' own names and types, so calls read as plain libgphoto2.
struct GPhotoLibrary
{
    // The library's file name for the ABI the headers describe (Debian's libgphoto2-6).
    static constexpr const char *kFileName = "libgphoto2.so.6";

#define BRINDLEWICK_GPHOTO_MEMBER(name) decltype(&::name) name = nullptr;
    BRINDLEWICK_GPHOTO_FUNCTIONS(BRINDLEWICK_GPHOTO_MEMBER)
#undef BRINDLEWICK_GPHOTO_MEMBER

    // Opens `file` (a name the dynamic loader looks up, or a path) and resolves every function.
    // Nothing when the library or one of its functions is missing, with the reason in *error.
    // The library stays loaded for the life of the process.
    static std::optional<GPhotoLibrary> load(const char *file, QString *error);
    // The system's libgphoto2, opened at the first call from any thread and kept; nullptr when
    // it can't be, with the reason (the same at every call) in *error.
    static const GPhotoLibrary *system(QString *error = nullptr);
};
