# Small real drives for the disk tests: tmpfs mounts under the build folder,
# mapped to Wine drive letters by links in the prefix's dosdevices. Source
# it after common.sh. kv_mount_small_drive exports
#
#   KV_TEST_SMALL_DRIVE   "T:\", 8 MiB, which the engine's disk-full test fills
#   KV_TEST_QUIET_DRIVE   "U:\", 16 MiB, whose free space the download
#                         manager's disk check measures (nobody fills it)
#   KV_TEST_FOLDER_ONLY_DRIVE
#                         "R:\", whose root refuses new files (a 1 MiB
#                         tmpfs at build/folder_only_drive mounted
#                         read-only: Unix rights do not stop root) while its
#                         "korvan" folder takes them (a link out of the
#                         mount to build/folder_only_korvan): a system drive
#                         as a standard user sees it once C:\korvan exists
#
# and leaves them unset when mounting is not allowed (not root, no tmpfs);
# those tests then skip or say so. kv_unmount_small_drive undoes it all.

# letter size folder variable
KV_SMALL_DRIVES=("t 8m small_drive KV_TEST_SMALL_DRIVE" "u 16m quiet_drive KV_TEST_QUIET_DRIVE")

kv_mount_small_drive() {
  kv_unmount_small_drive
  local entry letter size folder variable dir
  for entry in "${KV_SMALL_DRIVES[@]}"; do
    read -r letter size folder variable <<<"$entry"
    dir=$KV_BUILD/$folder
    mkdir -p "$dir" "$WINEPREFIX/dosdevices"
    if ! mount -t tmpfs -o "size=$size,mode=0777" "kv_$folder" "$dir" 2>/dev/null; then
      echo "small drives: cannot mount a tmpfs here; the real-drive disk tests will skip" >&2
      return 0
    fi
    # The prefix is known only once the build's architecture is.
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/$letter:"
    export "$variable=${letter^^}:\\"
  done
  # A small tmpfs, so that it never ties with C: for the most free space.
  local root=$KV_BUILD/folder_only_drive
  mkdir -p "$root" "$KV_BUILD/folder_only_korvan"
  if mount -t tmpfs -o size=1m,mode=0755 kv_folder_only_drive "$root" 2>/dev/null &&
     ln -sfn "$KV_BUILD/folder_only_korvan" "$root/korvan" &&
     mount -o remount,ro "$root" 2>/dev/null; then
    ln -sfn "$root" "$WINEPREFIX/dosdevices/r:"
    export KV_TEST_FOLDER_ONLY_DRIVE='R:\'
  else
    mountpoint -q "$root" 2>/dev/null && umount "$root" 2>/dev/null
    echo "small drives: cannot make a read-only drive here; the folder-only root test will skip" >&2
  fi
}

kv_unmount_small_drive() {
  local entry letter size folder variable dir
  for entry in "${KV_SMALL_DRIVES[@]}"; do
    read -r letter size folder variable <<<"$entry"
    dir=$KV_BUILD/$folder
    [ -L "$WINEPREFIX/dosdevices/$letter:" ] && rm -f "$WINEPREFIX/dosdevices/$letter:"
    if mountpoint -q "$dir" 2>/dev/null; then
      umount "$dir" 2>/dev/null || umount -l "$dir" 2>/dev/null || true
    fi
    unset "$variable"
  done
  [ -L "$WINEPREFIX/dosdevices/r:" ] && rm -f "$WINEPREFIX/dosdevices/r:"
  if mountpoint -q "$KV_BUILD/folder_only_drive" 2>/dev/null; then
    umount "$KV_BUILD/folder_only_drive" 2>/dev/null || umount -l "$KV_BUILD/folder_only_drive" 2>/dev/null || true
  fi
  unset KV_TEST_FOLDER_ONLY_DRIVE
  return 0
}
