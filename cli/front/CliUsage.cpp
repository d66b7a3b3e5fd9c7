// zrvlink's usage texts, for --help and usage errors; portable.
#include "cli/front/CliUsage.h"

// The JSON form of a configuration, for read and check alike.
const char SETUP_JSON_NOTES[] = R"(
With --json, stdout gets one JSON document: the setup file's keys as fields, addresses as dotted text,
and "Targets", the 32 destinations in order, each with "Enable", "Address", "NameHex" (the stored
digits) and "Name" (the text they spell; null when they spell none exactly, or not as UTF-8):
  {"BaudRate": 115200, "IPAddress": "192.168.0.10", "SubnetMask": "255.255.255.0",
   "Gateway": "192.168.0.1", "Targets": [{"Enable": true, "Address": "10.0.0.3", "Name": "AB",
   "NameHex": "4142"}, ...]}
)";

// How parallel runs end, for read and write alike.
const char PARALLEL_NOTES[] = R"(
In parallel, each port has a process of its own, which ends with zrvlink (Ctrl-C included). A port's
process that still runs after 20 minutes is asked to end its transfer before its next command, and
killed 3 seconds later ("PORT: WARNING: communication error", status 12). Lines that cannot be
written to stdout (a pipe whose reader has gone) give status 22 once every port's process has ended.
One that crashed is reported as "PORT: WARNING: crashed (HOW): ITS LAST LINE ON STDERR", status 14,
where HOW is for example "signal 11" on Linux and "exception 0xC0000005" on Windows.
)";

const char PROGRAM_USAGE[] = R"(Usage: zrvlink COMMAND [OPTION]...
Reads, writes, checks and compares the configuration of ZRV-Link devices, for scripts and batches.

Commands:
  ports [--long]                     list the device ports found, the default one first
  read [--port PORT] [--output FILE] read the device's configuration
  write FILE [--port PORT]           write setup file FILE to the device (ends with save and update)
  check FILE                         load FILE and print it in setup-file form
  diff FILE (FILE2 | --port PORT)    compare a setup file with another or with a device
  provision --template BASE.dat ...  a station: device after device, each with a unit of a plan
  ledger (export | status | board) --ledger URL  a line of stations' shared record and its board

PORT is a device path on Linux (/dev/ttyACM0) and COMn on Windows; without --port the first port
found is used. With --json, ports, read, check and diff print one JSON document instead of text;
on a failure stdout gets nothing. "zrvlink COMMAND --help" tells more about each command.

Exit status:
   0  success                          12  communication error
   1  diff: the configurations differ  13  hardware error (the device did not save)
   2  usage error                      14  not enough resources, or a port's process crashed
  10  no device port found             15  write --verify: the device holds other values
  11  the port could not be opened     21  the setup file could not be opened
  22  the setup file could not be saved, or stdout could not be written
  23  the setup file's content was rejected
  30, 31, 32  provision and ledger: see "zrvlink provision --help", "zrvlink ledger --help"
Without --trace every failure prints one line on stderr.

  --help     show this text
  --version  show the program's version
)";

const char PORTS_USAGE[] = R"(Usage: zrvlink ports [--long] [--json]
Lists the ports of the ZRV-Link devices attached now, one per line, in detection order: the first is
the one that the other commands use without --port. Prints nothing when there is none. Exit status 0.

  --long  four fields per line, each after one tab: the port, the USB VID:PID, the USB serial number
          and where the system shows the USB device (Linux: its directory below /sys/devices;
          Windows: its device instance ID, whose last part is the serial number); "-" for a serial
          number or location that is missing. For example (the blanks are tabs):
            /dev/ttyACM0  fe5a:0016  ZRV0012345  /sys/devices/pci0000:00/0000:00:14.0/usb1/1-2
  --json  the same as one JSON array, a missing serial number or location as null:
            [{"Port": "COM7", "Vid": "fe5a", "Pid": "0016", "Serial": "ZRV0012345",
              "Location": "USB\\VID_FE5A&PID_0016\\ZRV0012345"}]
)";

const char READ_USAGE[] = R"(Usage: zrvlink read [--port PORT] [--output FILE | --json] [--trace]
       zrvlink read (--port PORT... | --all) --output-dir DIR [--trace]
Reads the device's whole configuration and prints it to stdout in setup-file form (36 lines, CR LF),
or saves it to FILE. A failed read leaves FILE as it was, and creates none. A device holding a name
that a setup file would not read back the same (";" or a blank at its end) is neither printed nor
saved: status 22, and a line that names the destination; --json carries such a name whole.

  --port PORT       the device's port (default: the first one found); may be given several times,
                    but a device only once, under any name (a link to its path is the same device)
  --all             every port found
  --output FILE     save to FILE instead of printing
  --json            print the configuration as one JSON document (below)
  --output-dir DIR  read the ports in parallel, each into DIR/NAME.dat, where NAME is the port's path
                    without /dev/ and with '/' turned into '-' (pts-3.dat, ttyACM0.dat), and with
                    "port-" before names that Windows keeps for devices (port-COM7.dat); prints
                    one line per port: "PORT: OK FILE" or "PORT: MESSAGE". The exit status is
                    that of the first port, in the order given, that failed
  --trace           write the trace log to stderr
)";

const char WRITE_USAGE[] = R"(Usage: zrvlink write FILE [--port PORT] [--backup BACKUP] [--verify] [--trace]
       zrvlink write FILE (--port PORT... | --all) [--verify] [--trace]
Loads setup file FILE (nothing is sent when it does not load or holds no setup key) and writes it to
the device, ending with "save" and "update". Destinations whose address is the device's own address
are sent disabled.

  --port PORT       the device's port (default: the first one found); given several times, the ports
                    are written in parallel, with one line per port ("PORT: OK" or "PORT: MESSAGE")
                    and the exit status of the first port, in the order given, that failed; a device
                    only once, under any name (a link to its path is the same device)
  --all             every port found, in parallel
  --backup BACKUP   first read the device and save its configuration to BACKUP; when that fails,
                    nothing is written. BACKUP must not be FILE under any name (./FILE, a link).
                    A device holding a name that BACKUP would not read back the same (";" or a
                    blank at its end) fails so, with status 22 and a line naming the destination
  --verify          read the configuration back and compare it with what was sent; on a difference
                    stderr gets "WARNING: verify error", then one line per differing key
                    ("Target3: 1,10.0.0.3 -> 1,0.0.0.0", sent -> read), and the exit status is 15
  --trace           write the trace log to stderr
)";

const char CHECK_USAGE[] = R"(Usage: zrvlink check FILE [--json] [--trace]
Loads setup file FILE by the rules of the setup program and prints the configuration in setup-file
form (36 lines, CR LF) to stdout: the keys it lacks appear with their values after loading.
)";

const char DIFF_USAGE[] = R"(Usage: zrvlink diff FILE FILE2 [--json] [--trace]
       zrvlink diff FILE [--port PORT] [--json] [--trace]
Compares setup file FILE with FILE2, or with the device (default: the first port found). Prints one
line per differing key in setup-file value syntax, FILE's value first:
  Target3: 1,10.0.0.3,4142 -> 0,10.0.0.3,4142
With --json, the same as one JSON array ([] when they are equal):
  [{"Key": "Target3", "Left": "1,10.0.0.3,4142", "Right": "0,10.0.0.3,4142"}]
Exit status 0 when they are equal, 1 when they differ, and the codes of "zrvlink --help" on errors.
)";

const char PROVISION_USAGE[] =
    R"(Usage: zrvlink provision --template BASE.dat (--plan UNITS.csv | --ip-range FIRST-LAST)
                         (--record RECORD.csv | --ledger URL [--station NAME] [--journal FILE])
                         [--port PORT]... [--once] [--redo UNIT]... [--skip UNIT]...
                         [--board [ADDR:PORT]] [--trace]
A provisioning station: every device that is connected gets the next unit of the plan that is not
done. Its present configuration is read (and kept in the record), the unit's configuration is
written (ending with "save" and "update"), read back and compared, as by "write --verify". Devices
connected at the same time are set up at the same time, each by a process of its own, which is
ended when it still runs after 20 minutes. One line per event goes to stdout:
  S-017 192.168.1.17 on /dev/ttyACM0: written and verified in 3.1 s; connect the next device
A port is used again only after its device has gone and another has come. A device is left as it
is when it holds, by its own address, a unit that is done, held or skipped (or whose write began), or
when its whole configuration is that of such a unit (so are units without an own address, 0.0.0.0).
The USB serial number never decides that: it goes into the record and tells a device that stands on a
port in place of another between two looks. Devices whose USB bridges report one serial number for
every unit are each set up; only one swapped for another on the same port quicker than the station
looks is not seen as new until its port goes away. A device unplugged during its transfer ends it at
once (communication error). When every unit is done the station says so and ends.

The plan:
  --template BASE.dat    setup file with the values that every unit gets
  --plan UNITS.csv       one unit per row of a table as spreadsheets save "CSV" (UTF-8 or ASCII): a
                         header row naming the columns, a Unit column with a unique name per unit,
                         and setup-file keys as further columns (IPAddress, Gateway, Target3, ...;
                         any case), whose non-empty cells, in setup-file value syntax, replace the
                         template's value for that unit:
                           Unit,IPAddress,Target3
                           S-017,192.168.1.17,"1,10.0.0.3,4142"
                         The cells may be separated by commas, semicolons (as spreadsheets of
                         decimal-comma locales save it: Unit;IPAddress;Target3) or tabs: the first
                         of these whose split of the header row gives a Unit column; quoting is the
                         same. The first line says which the station read.
  --ip-range FIRST-LAST  one unit per address from FIRST to LAST, named by its address
A plan is refused before any device is touched, naming the row and the column, for an unknown or
repeated column, a value the setup file would not take, an empty or repeated unit name, more than
4096 units, or an own address that two units share or that is the gateway's, the network's own or
its broadcast address. Own address 0.0.0.0 (the device asks DHCP) may be shared.

The record, RECORD.csv (created when missing; a spreadsheet opens it as it is):
  one row per event: Time (ISO 8601 with the UTC offset), Unit, Port, Serial (the device's USB
  serial number, where the system shows one), Version (the device's answer to "vers"), Event,
  Status and Message of a failure, Save sent (whether "save" may have reached the device: no, maybe,
  yes), Seconds (since the device was found), Address (the own address written), and on "started"
  rows the device's configuration before the write, one column per setup-file key ("Previous
  Target3", in setup-file value syntax). Events: started (the device was read, its write begins),
  done, failed, interrupted (by a second Ctrl-C), skipped and redo (the operator's decisions).
  Each row is appended in one write and is on disk before the station goes on. A last row that a
  power cut left unfinished is reported at the next start and cut off; one that lost only its line
  end gets it back. One station at a time: a record in use by another is refused.
  A ledger's export ("zrvlink ledger --help") is a record too: its last column, Station, names the
  station of each row, and the station keeps it, naming its own rows by this PC's host name; a unit
  that another station left under way or held is this station's to settle. Its last row is known
  whole without its line end only when it names this PC.
At the start the record decides what is done. A unit whose write failed before "save" was sent goes
to the next device. A unit whose write may have reached the device's save (started without an end,
or failed or interrupted after "save" was sent) is never given to another device on its own: the
station names it and stops until the operator says what to do. No own address of the plan may have
been given to another unit in the record.

A line of stations shares one plan through a ledger on a PostgreSQL server instead of a record:
  --ledger URL      postgresql://USER@HOST[:PORT]/DB (or a libpq keyword string); a password comes
                    from the URL, PGPASSWORD, PGSERVICE or ~/.pgpass, and is never shown (one in the
                    URL is warned of: every user of the PC can read it in the list of processes). The
                    first station on an empty ledger writes its plan there; every later one must bring the
                    same plan and template (else status 32). A unit is claimed in a transaction that
                    checks it against the plan and keeps its "started" row, before the first byte of
                    its write; the record's rules hold for every station: a unit held on one station
                    stops that station (another may --redo or --skip it), and a device that holds a unit
                    that may be on a device is left alone, whichever station sees it (decided on the
                    ledger's units as they stand). Every statement has a time limit (5 s; a lock wait
                    2 s): running out, like a server that cannot be reached, means no new device is
                    taken, the devices at work finish, their events are kept in the journal and
                    committed once it is back; a station started meanwhile waits for it. Ctrl-C is
                    answered within a second whatever the server does, and no write begins after it.
  --station NAME    this station's name in the ledger (default: the host name), held by a lease that
                    the station renews every 2 s. It is "running" while the lease holds (15 s), then
                    "not seen" (cut off, or hung: it may still be writing) until its writes cannot run
                    any more (its processes' 20-minute limit, their 3 s stop grace and 15 s more, from
                    its last word to the ledger), then "stopped"; a station that ends says so at once.
                    A name is refused while a running or not seen station holds it, but for a run on
                    this PC whose process is gone; a station that lost its connection takes its own
                    name back. --redo or --skip of a unit that a running or not seen station is
                    writing is refused (status 32) before any device is touched
  --journal FILE    where this station keeps its events while the server is away (default:
                    ledger-NAME-HOST-PORT-DB.csv in ~/.local/state/zrvlink/, on Windows in
                    %LOCALAPPDATA%\zrvlink\; readable by the user alone).
                    It names its ledger and plan: a journal of another is set aside (renamed beside
                    it, kept) and said, never committed; events kept only there are said at the end
A station on a ledger also publishes there what its board shows (with or without --board), for
the line's board. "zrvlink ledger --help" tells how to export the line's record, see where it stands
and serve the line's board.

  --port PORT   watch only this port (may be given several times); default: the detected device
                ports, as "zrvlink ports" lists them. Ports are looked at as soon as the system tells
                of one that came, went or changed its permissions (Linux; Windows 8 and later), and
                every 5 seconds besides; where it tells nothing (older Windows, Wine), twice a second
  --once        set up the devices attached now, then end, without waiting for more
  --redo UNIT   give UNIT back to the plan: the next device gets it (after its write may have
                reached a device, or after --skip); its device, if still attached, counts as a new
                device and gets the next unit of the plan (UNIT itself when it comes first)
  --skip UNIT   take UNIT out of the plan: its device, attached now or later, is left as it is
  --board [ADDR:PORT]
                serve the station's live board while it runs (below); default 127.0.0.1:8480, this
                machine alone; another address only when given (0.0.0.0:8480: every network of
                this machine; port 0: any free one)
  --trace       each port's trace log to stderr, every line marked with the port

The live board: a page at http://ADDR:PORT/, named by the first line on stdout, that shows from
across a room the plan at a glance (done, held, failed and waiting for a device, skipped, at work, to
go), one tile per port (the device's USB serial number, its unit and address, its stage, a bar that
moves with the transfer, the time taken and the last result; "connect a device" where there is
none), the held units with what to do about each, and the last twenty events. It follows the station
as it works (Server-Sent Events at /events), says when the station has stopped, and follows it again
when it starts anew on the same address. Everything it needs is served by zrvlink itself. For
scripts, http://ADDR:PORT/status.json gives the same as one JSON document:
  {"Station": {"Running": true, "Exit": null}, "Now": "2026-12-07T14:03:09+01:00",
   "Plan": {"Units": 3, "Done": 1, "Held": 0, "Failed": 1, "Skipped": 0, "AtWork": 1, "ToGo": 0},
   "Held": [],
   "Ports": [{"Port": "/dev/ttyACM0", "Device": true, "Serial": "SN-A", "Unit": "S-3",
              "Address": "192.168.1.13", "Stage": "writing", "Percent": 45, "Seconds": 3.1,
              "Result": "read (ZRV-Link 2.4.1), writing"}],
   "Events": [{"Time": "14:03:07", "At": "2026-12-07T14:03:07+01:00",
               "Line": "S-3 192.168.1.13 on /dev/ttyACM0: read ..."}]}
Stage is reading, writing, verifying, done, failed (nothing of the unit stays on the device; the
unit waits for the next device), held (its write may have reached the device's save) or left (the
device holds a unit that stays as it is), and null, with Unit, Address, Seconds and Result, before
the station takes the device. Each held unit has Unit, Address, Port, Serial and Instruction (the
station's words on what to do). Now is the station's clock as it made the document; each event has
its time of day (Time) and the full time (At, with date and UTC offset), which the page shows on its
own clock. Exit is the station's exit status once Running is false. The board only shows: any method
but GET and HEAD is refused (405), and a browser that is slow or stops reading never holds up a device
or the record. No client can take the station's memory, threads or descriptors: a request head must
come whole within 5 seconds (else 408) in at most 16 KiB and 100 lines (else 431); at most 64
connections stay open (the one that has waited longest for nothing is closed for a new one); a Host
other than the board's address, localhost or an IP address is refused (421), so that no other web site
can read the board through its own name. An address that cannot be taken (in use) is a usage error,
before any device is touched.

A port whose open fails (permission denied, busy) right after its device appeared is tried again for
5 seconds before the failure is recorded; no byte reached that device, and the port is tried again
every 5 seconds after that. A write's process tells the station that "save" comes next and sends it
only once that line has reached the station; a write whose end the station cannot read whole (a
crash, a kill, a report cut short or not written) counts as having reached its save.

Ctrl-C: the first stops taking new devices and lets the devices at work finish; a second asks their
processes to end their transfers before the next command, and ends those still running 3 seconds
later (their writes then count as having reached their save). Either way no process is left writing
to a device, and the record says what happened. When stdout goes away (a closed pipe), the station
goes on as after the first Ctrl-C and ends with status 22; a stdout closed at the start is the null
device.

Exit status:
   0  every unit of the plan is done (or skipped)
   2  usage error, or an address for --board that cannot be taken
  14  the station could not find its own program
  22  stdout could not be written: no new device was taken from then on, the devices at work
      finished, and the record holds every event
  30  stopped (Ctrl-C, --once) with units of the plan not done
  31  a unit's write may have reached its device's save and did not end well: the station named
      the unit and stopped (also at the start, for such a unit in the record); run again with
      --redo UNIT or --skip UNIT once the device has been seen to
  32  the plan, the template, the record or the ledger was refused (another plan, a station's name
      in use, a decision on a unit another station may be writing, a server whose certificate fails
      the checks of the URL's sslmode; nothing was touched), or the record could not be written or a
      unit of the ledger was not the plan's (no new device was taken)
With an address for --ledger that does not read (never echoed), status 2.
)";

const char LEDGER_USAGE[] = R"(Usage: zrvlink ledger export --ledger URL [--output RECORD.csv]
       zrvlink ledger status --ledger URL [--json]
       zrvlink ledger board --ledger URL [--listen ADDR:PORT]
The ledger that a line of provisioning stations shares (see "zrvlink provision --help").

  export   every event of every station, oldest first, in the record's CSV form with a last column,
           Station; to stdout or into RECORD.csv (the old file stays until the new one is written).
           RECORD.csv is a record that a station goes on with (provision --record RECORD.csv, same
           plan and template) when the site leaves the ledger: it knows every unit as the ledger did,
           and a unit left under way or held on any station waits for --redo or --skip. Export once
           the line's stations have stopped
  status   the units per state (open, started, held, done, skipped) and every station with its PC,
           when it was last seen and its state: running, not seen (cut off or hung; it may still be
           writing until MayWriteUntil, and --redo or --skip of a unit it writes is refused until
           then) or stopped; --json prints one document:
             {"Units": {"open": 2, "done": 28}, "Stations": [{"Name": "line-1", "Host": "pc-7",
              "LastSeen": "2026-12-07T10:00:00+00:00", "State": "running", "Running": true,
              "MayWriteUntil": null}]}
  board    the line's live board until Ctrl-C, at http://ADDR:PORT/ (default 127.0.0.1:8481; another
           address only when given, port 0 for any free one): the plan from the ledger, then a section
           per station with its ports as the station publishes its own board (about once a second), a
           station that stopped or is not seen marked so, the held units (a unit whose write was under
           way on a station that stopped is held; one on a station that is only not seen is still at
           work, and not offered) and the last twenty events of all stations. Read-only, as the
           station's board ("zrvlink provision --help"); /status.json gives the same: the station's
           board document with "Line" ("Reachable", "Why"), "Stations" (as for status, and "Stale":
           not seen) beside it, each port and held unit with its "Station", each event prefixed with
           it. The events come in the order they happened, whatever the stations' clocks: "At" is
           each on the server's clock (in UTC), the station's full time moved by how far its clock
           ("Now") was from the server's when it published; "Time" stays the station's. An event of
           an earlier zrvlink without "At" is taken as the last such time of day, in this PC's
           zone, before its station published; one without a readable time comes first. A
           station's document that does not read is passed over. The first line names the address.

Exit status:
   0  done
   2  usage error (an address for --ledger that does not read, which is never echoed), or an
      address for --listen that cannot be taken
  22  stdout or RECORD.csv could not be written
  32  the ledger cannot be reached, its server's certificate fails the checks of the URL's sslmode,
      or it holds no stations' record
)";
