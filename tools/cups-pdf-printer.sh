#!/usr/bin/env bash
# A virtual PDF printer for the printing test: CUPS with the cups-pdf backend
# as the default printer, so a print job ends up as a PDF file.
#
#   cups-pdf-printer.sh start         prints a token naming what it set up
#                                     (empty when it set up nothing)
#   cups-pdf-printer.sh stop TOKEN    undoes exactly that, nothing else
#
# Harmless on any machine: without CUPS, cups-pdf or root rights it does
# nothing; run twice it finds its printer already there and sets up nothing.
set -u
PATH="$PATH:/usr/sbin"

printer=PDF
ppd_model=lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd
ppd_file=/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd
backend=/usr/lib/cups/backend/cups-pdf

scheduler_running() {
  [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ]
}

default_printer() {
  lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p'
}

start() {
  local parts=()
  if [ "$(id -u)" -ne 0 ] || ! command -v cupsd >/dev/null 2>&1 ||
     ! command -v lpadmin >/dev/null 2>&1 || ! command -v lpstat >/dev/null 2>&1 ||
     [ ! -e "$backend" ] || [ ! -e "$ppd_file" ]; then
    return 0
  fi

  if ! scheduler_running; then
    mkdir -p /run/cups
    setsid cupsd -f </dev/null >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1 50); do
      scheduler_running && break
      sleep 0.2
    done
    if ! scheduler_running; then
      kill "$pid" 2>/dev/null
      return 0
    fi
    parts+=("cupsd=$pid")
  fi

  if ! lpstat -v "$printer" >/dev/null 2>&1; then
    if lpadmin -p "$printer" -v cups-pdf:/ -E -m "$ppd_model" >/dev/null 2>&1 ||
       lpadmin -p "$printer" -v cups-pdf:/ -E -P "$ppd_file" >/dev/null 2>&1; then
      parts+=("printer=$printer")
    fi
  fi

  local old
  old=$(default_printer)
  if [ "$old" != "$printer" ] && lpstat -v "$printer" >/dev/null 2>&1; then
    if lpadmin -d "$printer" >/dev/null 2>&1; then
      parts+=("default=$old")
    fi
  fi

  local IFS=,
  echo "${parts[*]}"
}

stop() {
  local token=${1:-} cupsd_pid="" added_printer="" old_default="" changed_default=""
  local IFS=,
  for part in $token; do
    case $part in
      cupsd=*) cupsd_pid=${part#cupsd=} ;;
      printer=*) added_printer=${part#printer=} ;;
      default=*) old_default=${part#default=}; changed_default=yes ;;
    esac
  done
  unset IFS

  if [ -n "$changed_default" ] && [ -n "$old_default" ] &&
     lpstat -v "$old_default" >/dev/null 2>&1; then
    lpadmin -d "$old_default" >/dev/null 2>&1
  fi
  if [ -n "$added_printer" ]; then
    lpadmin -x "$added_printer" >/dev/null 2>&1
  fi
  # Only the scheduler this script started, and only if it is still that one.
  if [ -n "$cupsd_pid" ] && [ "$(cat "/proc/$cupsd_pid/comm" 2>/dev/null)" = cupsd ]; then
    kill "$cupsd_pid" 2>/dev/null
    for _ in $(seq 1 50); do
      [ -e "/proc/$cupsd_pid" ] || break
      sleep 0.1
    done
  fi
  return 0
}

case ${1:-} in
  start) start ;;
  stop) stop "${2:-}" ;;
  *)
    echo "usage: $0 start | stop TOKEN" >&2
    exit 2
    ;;
esac
