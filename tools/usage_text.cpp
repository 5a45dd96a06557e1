#include "tools/command_line.h"

namespace trivane::sim {

const char* CommandName(SimCommand command) {
  switch (command) {
    case SimCommand::kSource:
      return "source ";
    case SimCommand::kOnline:
      return "online ";
    case SimCommand::kListen:
      return "listen ";
    case SimCommand::kDecode:
      return "decode ";
    case SimCommand::kStudio:
      return "studio ";
    case SimCommand::kNone:
      break;
  }
  return "";
}

std::string UsageText(SimCommand command) {
  switch (command) {
    case SimCommand::kSource:
      return "Usage: trivane-sim source --port P [--bind ADDR] [UNIT...] [--repeat N]\n"
             "                          [--interval MS] [--hold] [--once] [--codepage NAME]\n"
             "\n"
             "A TCP source: plays the units, in the order given, to every relay that\n"
             "connects. Seconds may have decimals; texts are UTF-8 and go out in the code page.\n"
             "\n"
             "  --port P                 port to listen on; 0 picks a free one (printed)\n"
             "  --bind ADDR              address to listen on (default 127.0.0.1)\n"
             "  --file F                 the file's bytes, sent as they are\n"
             "  --hex HEX                bytes in hex, e.g. \"4c33 0000 ...\"\n"
             "  --vl3-region S,O[,E]     VL3 region block: size, over, extra seconds\n"
             "  --vl3-notice KIND,SECONDS,TEXT\n"
             "                           VL3 block notice; KIND 0..255 or M A I V H J E P\n"
             "  --vl3-message TYPE,NUM,HEX  any VL3 message, payload in hex (may be empty)\n"
             "  --vl2-region S,O         VL2 region block: command 08 (size), then 09 (over)\n"
             "  --vl2-notice CODE,SECONDS,TEXT\n"
             "                           VL2 command; CODE a number or its letter (d e f g h k)\n"
             "  --drcp-block DELAY_MS,S,O  manufacturer \"s\" command as a bare element\n"
             "  --uecp-drcp-block DELAY_MS,S,O  the same inside a UECP frame\n"
             "  --uecp-rt TEXT           a UECP frame with a radiotext element\n"
             "  --repeat N               play the units N times per connection (default 1,\n"
             "                           0 = until the connection ends)\n"
             "  --interval MS            pause between rounds (default 1000)\n"
             "  --hold                   keep the connection open after playing, until the\n"
             "                           relay closes it or the program is stopped\n"
             "  --once                   end after the first connection\n"
             "  --codepage NAME          wire code page (default WINDOWS-1251)\n"
             "\n"
             "Prints \"listening ADDR:PORT\", then per connection \"connected PEER\",\n"
             "\"sent <n> bytes: <hex>\" per unit and \"closed PEER\" or \"closed PEER by peer\".\n";
    case SimCommand::kOnline:
      return "Usage: trivane-sim online --port P --password W [--bind ADDR] [--greeting TEXT]\n"
             "                          [--refuse TEXT] [--silent] [--once] [--codepage NAME]\n"
             "\n"
             "An online server: greets each connection, reads the password line and answers\n"
             "an empty line when it matches, else the refusal text, and closes.\n"
             "\n"
             "  --port P           port to listen on; 0 picks a free one (printed)\n"
             "  --password W       the password to accept\n"
             "  --bind ADDR        address to listen on (default 127.0.0.1)\n"
             "  --greeting TEXT    the greeting line\n"
             "  --refuse TEXT      the refusal line (default \"Wrong password\")\n"
             "  --silent           never send anything (tests a relay's time limit)\n"
             "  --once             end after the first connection\n"
             "  --codepage NAME    code page of the texts on the wire (default WINDOWS-1251)\n"
             "\n"
             "Prints \"listening ADDR:PORT\", \"connected PEER\", \"login PEER accepted\" or\n"
             "\"login PEER refused: \\\"<password>\\\"\", one line per frame received:\n"
             "  FRAME type=T num=N len=<payload bytes> hex=<payload> [decoded fields]\n"
             "and \"closed PEER\" or \"closed PEER by peer\".\n";
    case SimCommand::kListen:
      return "Usage: trivane-sim listen --port P [--host H] [--show-playlist] [--ignore-delay]\n"
             "                          [--codepage NAME]\n"
             "\n"
             "Connects to a relay's chain server and decodes what it sends, unit by unit,\n"
             "with the relay's own parsers. Prints \"connected H:P\", the lines of \"decode\"\n"
             "(see its --help), \"DROPPED <n> bytes\" for what a relay's 8192-byte buffer\n"
             "would not take, and \"closed by peer\" when the relay closes the connection.\n"
             "\n"
             "  --host H           the relay (default 127.0.0.1)\n"
             "  --port P           its server port\n"
             "  --show-playlist    log playlist entries, as the relay's ShowPlaylist=1\n"
             "  --ignore-delay     as the relay's IgnoreDelay=1\n";
    case SimCommand::kDecode:
      return "Usage: trivane-sim decode [FILE|-] [--show-playlist] [--ignore-delay]\n"
             "                          [--codepage NAME]\n"
             "\n"
             "Decodes captured source bytes (standard input with - or no FILE) as a relay\n"
             "would, and prints what it would log and route:\n"
             "  UNIT <n> bytes: <hex>            a complete unit\n"
             "  ROUTE type=T num=N len=L hex=<payload> [decoded fields]\n"
             "  FILE In|Out size=.. over=.. extra=..   a daily-file line (ms)\n"
             "  LOG <tag>: <message>             an event-log line\n"
             "  PENDING due_in=<ms>              a scheduled block, then sent\n"
             "  UNPARSED <n> bytes: <hex>        bytes nobody could parse\n";
    case SimCommand::kStudio:
      return "Usage: trivane-sim studio [--window HANDLE] [--class NAME] [--pid-query]\n"
             "                          [MESSAGE...] [--receive SECONDS] [--hang SECONDS]\n"
             "                          [--vanish] [--codepage NAME]\n"
             "\n"
             "A playout studio on the desktop: opens a window of its own, says hello to\n"
             "every relay window (class TVL_Trivane) or to the one given, waits 250 ms for\n"
             "the relay to admit it, sends the messages in the order given, and says\n"
             "goodbye when it ends. Seconds may have decimals; texts are UTF-8 and go out\n"
             "in the code page.\n"
             "\n"
             "  --window HANDLE          talk to this window only (decimal, or hex with 0x)\n"
             "  --class NAME             class of the studio's own window (default TStudio3)\n"
             "  --pid-query              ask each relay its identity; prints its PID\n"
             "  --region S,O[,E]         region block: size, over, extra seconds\n"
             "  --notice KIND,SECONDS,TEXT\n"
             "                           block notice; KIND 0..255 or M A I V H J E P\n"
             "  --clock now|YYYY-MM-DDTHH:NN:SS.ZZZ\n"
             "                           clock: the local time when sent, or the one given\n"
             "  --message NUM,HEX        any message of type 1, payload in hex (may be empty)\n"
             "  --receive SECONDS        then stay that long and print what the relay sends\n"
             "  --hang SECONDS           after sending, serve no messages for that long, as a\n"
             "                           hung studio, then go on\n"
             "  --vanish                 end without a goodbye, as a crashed studio\n"
             "  --codepage NAME          wire code page (default WINDOWS-1251)\n"
             "\n"
             "Prints \"window W\" (its own), then per relay window \"hello W\", \"pid W N\",\n"
             "\"sent W type=1 num=N len=L\" per message and \"goodbye W\"; a send that is not\n"
             "answered prints \"failed hello W: <why>\" and so on. Received, one line each:\n"
             "  COPYDATA from=W type=T num=N len=L hex=<payload> [decoded fields]\n"
             "  goodbye from W                   the relay closes\n"
             "  MESSAGE msg=M wparam=W lparam=0xXXXXXXXX   any other window message\n"
             "Exit status 1 when no relay window is found or the desktop cannot be used.\n";
    case SimCommand::kNone:
      break;
  }
  return "Usage: trivane-sim <subcommand> [options]   (--help after a subcommand for its "
         "options)\n"
         "\n"
         "A peer simulator for commissioning and testing a relay.\n"
         "\n"
         "  source   a TCP source that plays region blocks and other units to the relay\n"
         "  online   an online server with the password log-in; prints the frames it gets\n"
         "  listen   a client of the relay's internal server; prints what it receives\n"
         "  decode   decodes a capture of source bytes offline\n"
         "  studio   a playout studio talking window messages to the relay\n"
         "\n"
         "Exit status: 0 done, 1 failure (e.g. port in use, no relay window), 2 bad\n"
         "arguments.\n"
         "SIGINT or SIGTERM ends the program.\n";
}

}  // namespace trivane::sim
