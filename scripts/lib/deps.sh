# Debian packages Varimon builds, tests and demonstrates with.
VARIMON_PACKAGES="g++ cmake make clang-format pkg-config qt6-base-dev qt6-serialport-dev qt6-svg-dev libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev socat clang libclang-rt-dev libxlsxwriter-dev python3-xlrd python3-openpyxl poppler-utils dpkg-dev file desktop-file-utils appstream help2man librsvg2-bin libreoffice-calc-nogui python3-pymodbus python3-serial python3-serial-asyncio libmosquitto-dev mosquitto mosquitto-clients ser2net"
VARIMON_DEMO_PACKAGES="xvfb imagemagick fonts-wqy-microhei"
# What scripts/package adds: the Debian package checker.
VARIMON_PACKAGE_PACKAGES="lintian"

# varimon_install PKG...: installs whichever of the packages are missing.
varimon_install() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "apt-get is not available here; install them with your package manager and run again." >&2
    return 1
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
