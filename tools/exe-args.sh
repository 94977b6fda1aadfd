# Sourced by ./quivane and the tests: turns the Linux command line of
# quivane.exe into the one Wine should pass, translating paths only.
#   quivane_exe_args COMMAND ARGS...   fills the array QUIVANE_EXE_ARGS
# The command word and the values of options that are not paths stay as they
# are; operands (FILE, OUTDIR) and the values of path options become Z: paths,
# whatever files happen to exist in the current folder.

# Options whose value is a path, and options whose value is not. Both follow
# `quivane.exe help` (the host tool CLI test holds them to it).
QUIVANE_PATH_OPTIONS=(--out --screenshot)
QUIVANE_VALUE_OPTIONS=(--size --keys --after-ms --at)

# A Linux path as Wine sees it: Z: and backslashes. A path already in Windows
# form (C:\..., C:/...) is left as it is.
quivane_windows_path() {
  local a=$1
  if [[ "$a" =~ ^[A-Za-z]:[\\/] ]]; then
    printf '%s' "$a"
    return
  fi
  a=$(realpath -m -- "$a")
  printf 'Z:%s' "${a//\//\\}"
}

quivane_exe_args() {
  QUIVANE_EXE_ARGS=()
  [ $# -eq 0 ] && return 0
  local command=$1 a next=word operands_only=0
  QUIVANE_EXE_ARGS+=("$command")
  shift
  # Help names commands, not files.
  case "$command" in help|-h|--help) QUIVANE_EXE_ARGS+=("$@"); return 0 ;; esac
  for a in "$@"; do
    if [ "$next" = path ]; then
      QUIVANE_EXE_ARGS+=("$(quivane_windows_path "$a")")
      next=word
    elif [ "$next" = value ]; then
      QUIVANE_EXE_ARGS+=("$a")
      next=word
    elif [ "$operands_only" = 0 ] && [ "$a" = -- ]; then
      QUIVANE_EXE_ARGS+=("$a")
      operands_only=1
    elif [ "$operands_only" = 0 ] && [[ "$a" == -?* ]]; then
      QUIVANE_EXE_ARGS+=("$a")
      if [[ " ${QUIVANE_PATH_OPTIONS[*]} " == *" $a "* ]]; then
        next=path
      elif [[ " ${QUIVANE_VALUE_OPTIONS[*]} " == *" $a "* ]]; then
        next=value
      fi
    else
      QUIVANE_EXE_ARGS+=("$(quivane_windows_path "$a")")
    fi
  done
}
