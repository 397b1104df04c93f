# Cross-building for 64-bit ARM with Debian's gcc and the :arm64 libraries of multiarch
# (scripts/test-cross.sh installs them); what the build runs for the tests runs under
# qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch keeps the libraries in /usr/lib/aarch64-linux-gnu, beside the host's, and the
# headers shared in /usr/include.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Without -L: qemu finds the ARM loader in /lib through multiarch, and a second thread
# hangs with -L /usr/aarch64-linux-gnu.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
