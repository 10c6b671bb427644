# The Linux ins-host a Windows run is compared with (LINUX_BUILD/ins-host), in `linux_host`.
set(linux_host ${LINUX_BUILD}/ins-host)
if(NOT EXISTS ${linux_host})
  message(FATAL_ERROR "no Linux ins-host at ${linux_host} to compare with: build the dev preset "
                      "first (cmake --preset dev && cmake --build --preset dev)")
endif()
