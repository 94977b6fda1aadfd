# Windows-side test programs (each tests/windows/NAME.cpp plus the shared
# support) and the script checks run against the cross-built binaries.
set(QUIVANE_WINDOWS_TESTS
  apng_conformance_tests
  apng_tests
  renderer_core_tests
  gif_tests
  gif_conformance_tests
  gif_bad_input_tests
  drawing_tests
  frame_export_tests
  presenter_playback_tests
  preview_handler_tests
  presenter_tests
  webp_codec_tests
  webp_renderer_tests
  mf_color_tests
  video_still_tests
  video_platform_tests
  thumbnail_tests
  com_server_tests
  registration_tests
)
set(QUIVANE_WINDOWS_SCRIPT_TESTS
  dll_imports_exports
  host_tool_frames
  host_tool_preview
)
