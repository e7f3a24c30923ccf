#!/usr/bin/env bash
# Starts a real CUPS scheduler with a PDF printer as the default destination,
# so printing can be tried and tested on a machine without a printer.
#
#   bash tools/cups.sh          start the scheduler (if needed) and the printer
#   bash tools/cups.sh stop     stop a scheduler this script started
#   bash tools/cups.sh outdir   print the folder the PDFs arrive in
#
# The PDFs land in $HOME/PDF of the user who printed (root: /root/PDF). A file
# appears there while Ghostscript is still writing it: wait until the queue is
# empty and the size has settled before reading it.
set -euo pipefail

PRINTER=TessaryPDF
DEVICE=cups-pdf:/
PPD=lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
PIDFILE=/run/cups/cupsd.pid
WAIT_TENTHS=100

# Always talk to this machine's own scheduler, whatever the caller points at.
unset CUPS_SERVER

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        sudo -n "$@"
    fi
}

running() {
    [[ $(lpstat -r 2>/dev/null) == "scheduler is running" ]]
}

wait_for() {
    local want=$1 i
    for ((i = 0; i < WAIT_TENTHS; i++)); do
        if [[ $want == up ]] && running; then return 0; fi
        if [[ $want == down ]] && ! running; then return 0; fi
        sleep 0.1
    done
    return 1
}

outdir() {
    local out home
    out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
    out=${out:-\$\{HOME\}/PDF}
    home=$(getent passwd "$(id -un)" | cut -d: -f6)
    echo "${out//\$\{HOME\}/$home}"
}

start_scheduler() {
    running && return 0
    # Where systemd runs the show, let it own the scheduler; containers and CI
    # usually have no systemd, so the daemon is started by hand there.
    if [[ -d /run/systemd/system ]] && command -v systemctl >/dev/null; then
        as_root systemctl start cups.service 2>/dev/null || true
        wait_for up && return 0
    fi
    as_root /usr/sbin/cupsd
    if ! wait_for up; then
        echo "cups.sh: the scheduler did not come up within $((WAIT_TENTHS / 10)) s" >&2
        tail -n 20 /var/log/cups/error_log >&2 2>/dev/null || true
        return 1
    fi
}

add_printer() {
    local log
    # lpadmin warns on every call that PPD drivers are deprecated; only show
    # what it says when it fails.
    if ! log=$(as_root lpadmin -p "$PRINTER" -E -v "$DEVICE" -m "$PPD" 2>&1); then
        echo "$log" >&2
        return 1
    fi
    as_root lpadmin -d "$PRINTER"
    as_root cupsenable "$PRINTER" 2>/dev/null || true
    as_root cupsaccept "$PRINTER" 2>/dev/null || true
}

start() {
    for tool in /usr/sbin/cupsd lpstat lpadmin; do
        if ! command -v "$tool" >/dev/null; then
            echo "cups.sh: $tool is missing; run tools/setup.sh first" >&2
            return 1
        fi
    done
    if [[ ! -e /usr/lib/cups/backend/cups-pdf ]]; then
        echo "cups.sh: the cups-pdf backend is missing (printer-driver-cups-pdf)" >&2
        return 1
    fi
    start_scheduler
    add_printer
    local dir
    dir=$(outdir)
    echo "CUPS scheduler running; default printer $PRINTER; PDFs arrive in $dir"
}

stop() {
    if ! running; then
        echo "CUPS scheduler is not running"
        return 0
    fi
    if [[ -d /run/systemd/system ]] && command -v systemctl >/dev/null &&
        systemctl is-active --quiet cups.service 2>/dev/null; then
        as_root systemctl stop cups.service cups.socket 2>/dev/null || true
    elif [[ -s $PIDFILE ]]; then
        as_root kill -TERM "$(cat "$PIDFILE")"
    else
        echo "cups.sh: the scheduler has no pid file; leaving it running" >&2
        return 1
    fi
    if ! wait_for down; then
        echo "cups.sh: the scheduler is still running" >&2
        return 1
    fi
    echo "CUPS scheduler stopped"
}

case ${1:-start} in
    start) start ;;
    stop) stop ;;
    outdir) outdir ;;
    *)
        echo "usage: $0 [start|stop|outdir]" >&2
        exit 2
        ;;
esac
