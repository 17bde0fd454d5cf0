"""Prints the input-type messages (task 161) of every controller of a site file, then the
message that starts polling nodes 1 and 2 on interface 1."""
import sys

import ssmsg

try:
    site = ssmsg.Site.load(sys.argv[1])
except ssmsg.SiteError as error:
    sys.exit("\n".join(error.errors))

for message in site.messages(tasks=[161]):
    print(message.interface, message.node, message.task, message.text)
print(ssmsg.interface_poll(1, start=[1, 2]))
