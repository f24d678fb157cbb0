# The launcher where nothing else is: a chroot holding only a static busybox
# and the launcher, with /proc and without; and the 64-bit ARM launcher under
# qemu. Both need a static stub (the release preset; the sanitized native
# build links dynamically and the scripts skip there) and say why they skip.
if(NOT WIN32 AND TARGET launcher AND TARGET sfxkit)
  add_test(NAME launcher_static_chroot
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/chroot_run.sh $<TARGET_FILE:sfxkit> $<TARGET_FILE:launcher>
                   ${CMAKE_CURRENT_BINARY_DIR}/launcher_static_chroot)
  # The launcher of the linux-arm64 preset's build beside this one.
  set(SFX_ARM64_LAUNCHER "${CMAKE_BINARY_DIR}/../linux-arm64/launcher/launcher"
      CACHE FILEPATH "the 64-bit ARM launcher stub the qemu test packs")
  add_test(NAME launcher_arm64_qemu
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/qemu_run.sh $<TARGET_FILE:sfxkit> ${SFX_ARM64_LAUNCHER}
                   ${CMAKE_CURRENT_BINARY_DIR}/launcher_arm64_qemu)
  set_tests_properties(launcher_static_chroot launcher_arm64_qemu PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
