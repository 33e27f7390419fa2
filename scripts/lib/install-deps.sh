# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Sourced by scripts/test and scripts/demo.
install_deps() {
  local pkgs=(cmake g++ make libgtest-dev libjpeg62-turbo-dev libpng-dev gdal-bin libgdal-dev python3-gdal python3-rasterio python3-pytest clang libclang-rt-14-dev)
  local missing=()
  for p in "${pkgs[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}
