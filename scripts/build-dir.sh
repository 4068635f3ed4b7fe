# Sourced by the build scripts: the build folder for a set of CMake arguments. The everyday
# build is ./build; a sanitizer, fuzz or other special build gets a folder of its own, so that
# trying one never turns ./build into something else. $SOREL_BUILD_DIR overrides the choice.
sorel_build_dir() {
  if [ -n "${SOREL_BUILD_DIR:-}" ]; then echo "$SOREL_BUILD_DIR"; return; fi
  local dir=build arg
  for arg in "$@"; do
    case "$arg" in
      -DSOREL_SANITIZE=ON|-DSOREL_SANITIZE=1|-DSOREL_SANITIZE=TRUE) dir=build-asan ;;
      -DSOREL_TSAN=ON|-DSOREL_TSAN=1|-DSOREL_TSAN=TRUE) dir=build-tsan ;;
      -DSOREL_FUZZ=ON|-DSOREL_FUZZ=1|-DSOREL_FUZZ=TRUE) dir=build-fuzz ;;
      -DSOREL_SIMD=OFF|-DSOREL_SIMD=0|-DSOREL_SIMD=FALSE) [ "$dir" = build ] && dir=build-nosimd ;;
      -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
      -DCMAKE_BUILD_TYPE=*) [ "$dir" = build ] && dir="build-$(echo "${arg#*=}" | tr '[:upper:]' '[:lower:]')" ;;
    esac
  done
  echo "$dir"
}
