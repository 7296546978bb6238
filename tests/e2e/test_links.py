"""hub.exe under Wine on its links: a remote app, port registration and the
feeder on 127.0.0.1; datagrams no peer should send; a flood on port 45041;
consumers that are not running; a Stepdeck that is lost for a while; a second
hub. Each test states its figure or outcome through `report`."""

import statistics
import subprocess
import sys
import time

from harness import FEEDER_PORT, STICK_PORT, Listeners, describe_periods, percentile, stick_periods_ms
from scripted_use import FEEDER_ENABLE, HELLO_45050, KEEP_ALIVE, REMOTE_PORT, inputs

ACK = bytes([1, 0])
CONNECTION_REPLY = bytes([1, 2])
STATUS_AT_REST = bytes([31, 128, 128, 128, 128, 128, 128, 0])
CONNECTED = "Status: remote app connected"
NOT_CONNECTED = "Status: no remote app connected"
TICK_MS = 33


def is_status(data):
    return len(data) == 8 and data[0] == 31


def wait_control(hub, control_id, text, timeout=5.0):
    """Waits until the control shows exactly `text` (blanks included)."""
    deadline = time.time() + timeout
    while True:
        shown = hub.driver.text(control_id)
        if shown == text or time.time() > deadline:
            return shown
        time.sleep(0.05)


def connect_remote_app(hub, remote):
    """Hello 1,3,4,50,50 from 127.0.0.1; returns the connection reply's delay in ms."""
    sent = time.time()
    remote.send(REMOTE_PORT, HELLO_45050)
    reply = remote.wait_for(lambda d: d == CONNECTION_REPLY, 3, REMOTE_PORT, since=sent)
    assert reply is not None, "no connection reply on port 45050" + hub.diagnosis()
    assert hub.driver.wait_text(1024, CONNECTED)[0]
    return (reply.stamp - sent) * 1000


def assert_still_listening(hub, remote):
    """The listener outlived what came before: a hello still connects."""
    assert hub.process.poll() is None, "the hub ended" + hub.diagnosis()
    return connect_remote_app(hub, remote)


def test_datagrams_longer_than_the_receive_buffer_are_dropped_not_decoded_and_the_listener_goes_on(
        start_hub, report):
    hub = start_hub()
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        # Heads that would connect, steer and enable the feeder if a cut-off
        # copy of the datagram were decoded.
        for size, head in [(513, inputs(192, 9)), (600, FEEDER_ENABLE), (65507, inputs(192, 9))]:
            remote.send(REMOTE_PORT, head + bytes(size - len(head)))
        time.sleep(10 * TICK_MS / 1000)
        assert hub.process.poll() is None, "an oversized datagram ended the hub" + hub.diagnosis()
        assert hub.driver.text(1024) == NOT_CONNECTED
        assert hub.driver.text(1019) == "0.000000"
        assert [d.data for d in hub.listeners.all(FEEDER_PORT)][1:] == []  # the greeting only
        assert remote.all() == []
        delay = assert_still_listening(hub, remote)
        report(f"513, 600 and 65507 bytes ignored, the hub kept running; the next hello was answered "
               f"in {delay:.1f} ms")
    finally:
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_a_peer_that_names_port_0_is_ignored_and_never_ends_the_hub(start_hub, report):
    hub = start_hub()
    wrapping = Listeners((65535,))  # hello 1,2 answers to the source port + 1: 0
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        wrapping.send(65535, [1, 2])
        for message in ([1, 3, 0, 0, 0],       # hello with reply port 0
                        [1, 3, 6, 55, 36],     # 65536: port 0 in 16 bits
                        [21, 1, 0, 0, 0],      # registration of port 0
                        [21, 1],               # the same with the digits left out
                        [21, 2, 0, 0, 0]):     # query answered to port 0
            remote.send(REMOTE_PORT, message)
        time.sleep(12 * TICK_MS / 1000)
        assert hub.process.poll() is None, "a port of 0 ended the hub" + hub.diagnosis()
        assert hub.driver.text(1024) == NOT_CONNECTED  # the hellos did not connect
        assert wrapping.all() == [] and remote.all() == []
        assert [d.data for d in hub.listeners.all(FEEDER_PORT)][1:] == []
        assert_still_listening(hub, remote)
        report("hello 1,2 from port 65535, hellos 1,3,0,0,0 and 1,3,6,55,36, registration and query of "
               "port 0: ignored, not connected, the hub kept running and a later hello connected")
    finally:
        wrapping.close()
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_empty_short_and_unknown_datagrams_change_nothing(start_hub, report):
    hub = start_hub()
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        empty = [b""]
        short = [[1], [1, 3], [1, 3, 4], [1, 3, 4, 50], [21]]
        unknown = [[0], [0] * 9, [1, 0], [1, 4], [1, 99, 4, 50, 50], [2, 1], [21, 0, 5, 5, 0],
                   [21, 3, 5, 5, 0], [31] + [128] * 7, [0x16] * 8, [0x64, 0], [255] * 9]
        for message in empty + short + unknown:
            remote.send(REMOTE_PORT, message)
        time.sleep(10 * TICK_MS / 1000)
        assert hub.process.poll() is None, hub.diagnosis()
        assert hub.driver.text(1024) == NOT_CONNECTED
        assert hub.driver.text(1019) == "0.000000"
        assert [d.data for d in hub.listeners.all(FEEDER_PORT)][1:] == []
        assert remote.all() == []
        assert_still_listening(hub, remote)
        report(f"{len(empty)} empty, {len(short)} short and {len(unknown)} unknown datagrams: no effect, "
               f"no reply, the hub kept running")
    finally:
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_a_remote_app_on_127_0_0_1_connects_and_follows_the_stepdeck(start_hub, report):
    hub = start_hub()
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        connected = time.time()
        delay = connect_remote_app(hub, remote)
        received = remote.all()
        assert received[0].data == CONNECTION_REPLY
        status = remote.wait_for(is_status, 2, REMOTE_PORT)
        assert status is not None and status.data == STATUS_AT_REST
        assert status.stamp - received[0].stamp < 0.01  # the same tick sends both

        remote.send(REMOTE_PORT, inputs(192, 0b001001, 77, 88))  # steering 0.5, buttons A and Y
        assert wait_control(hub, 1019, "0.500000") == "0.500000"
        assert wait_control(hub, 1023, "1 0 0 1 0 0 ") == "1 0 0 1 0 0 "

        since = time.time()
        hub.sim("set 0 y -600 z 500 b1 1")
        moved = remote.wait_for(lambda d: d == bytes([31, 128, 204, 192, 128, 128, 128, 2]), 5, REMOTE_PORT,
                                since=since)
        assert moved is not None, remote.all()
        # Only the remote app heard from the hub: nothing went to the feeder's port.
        assert [d.data for d in hub.listeners.all(FEEDER_PORT)][1:] == []
        replies = [d for d in remote.all() if d.data == CONNECTION_REPLY]
        assert len(replies) == 1
        statuses = [d for d in remote.all() if is_status(d.data) and d.stamp >= connected]
        report(f"connection reply after {delay:.1f} ms, status at rest {STATUS_AT_REST.hex(' ')}, "
               f"steering and buttons shown, {len(statuses)} status datagrams up to Y 204")
    finally:
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_feeder_enable_is_acknowledged_once_before_the_first_4way_datagram(start_hub, report):
    hub = start_hub()
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        remote.send(REMOTE_PORT, FEEDER_ENABLE)
        first_4way = hub.listeners.wait_for(lambda d: len(d) == 7 and d[:2] == bytes([2, 1]), 3, FEEDER_PORT)
        assert first_4way is not None, hub.diagnosis()
        feeder = [d.data for d in hub.listeners.all(FEEDER_PORT)]
        assert feeder[:3] == [bytes([1, 3, 2, 0x6F, 0]), ACK, bytes([2, 1, 128, 128, 0, 0, 0])]

        # The remote app's axes and buttons go into the 4-way datagram at
        # once; without a hello its replies go to the default endpoint, the
        # feeder's port.
        since = time.time()
        remote.send(REMOTE_PORT, inputs(128, 5, 10, 20))
        assert hub.listeners.wait_for(lambda d: d == bytes([2, 1, 128, 128, 10, 20, 5]), 3, FEEDER_PORT,
                                      since=since)
        since = time.time()
        hub.sim("set 0 x 300")  # 0.3: no start ramp, byte 166 at once
        assert hub.listeners.wait_for(lambda d: d == bytes([2, 1, 166, 128, 10, 20, 5]), 3, FEEDER_PORT,
                                      since=since)
        remote.send(REMOTE_PORT, FEEDER_ENABLE)
        time.sleep(5 * TICK_MS / 1000)
        acks = [d for d in hub.listeners.all(FEEDER_PORT) if d.data == ACK]
        assert len(acks) == 1
        report("01 00 once, then 02 01 80 80 00 00 00; the remote app's bytes and X 166 followed at once")
    finally:
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_a_registered_port_is_kept_alive_every_5_s_and_queries_get_its_digits(start_hub, report):
    hub = start_hub()
    ports = Listeners((50500, 50501, REMOTE_PORT))
    try:
        hub.wait_ticking()
        ports.send(REMOTE_PORT, [21, 2, 5, 5, 1])  # no registration yet
        assert ports.wait_for(lambda d: d == bytes([21, 2, 0, 0, 0]), 2, 50501)
        registered = time.time()
        ports.send(REMOTE_PORT, [21, 1, 5, 5, 0])
        first = ports.wait_for(lambda d: d == bytes([21, 1]), 2, 50500)
        assert first is not None
        since = time.time()
        ports.send(REMOTE_PORT, [21, 2, 5, 5, 1])
        assert ports.wait_for(lambda d: d == bytes([21, 2, 5, 5, 0]), 2, 50501, since=since)
        time.sleep(3)
        ports.send(REMOTE_PORT, [21, 1, 5, 5, 0])  # renewed within 10 s
        second = ports.wait_for(lambda d: d == bytes([21, 1]), 4, 50500, since=first.stamp + 0.001)
        assert second is not None
        interval = second.stamp - first.stamp
        # Arrival times, not the hub's clock: on a loaded machine a send can
        # leave a tick or more after its tick read the clock. The exact rule
        # (the first tick more than 5000 ms later) is the registration replay
        # script's to hold.
        assert 5.0 - TICK_MS / 1000 < interval < 5.0 + 10 * TICK_MS / 1000, interval
        assert len(ports.all(50500)) == 2
        report(f"first keep-alive {1000 * (first.stamp - registered):.1f} ms after the registration, "
               f"the next {interval * 1000:.0f} ms later; queries answered 21 2 0 0 0, then 21 2 5 5 0")
    finally:
        ports.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


# Another process sends these to port 45041 as fast as it can: nothing a
# remote app would send, so only the test's own keep-alives keep it connected.
FLOOD = r"""
import socket, sys, time
kinds = [bytes([0x55] * 9), bytes([0x55] * 600), bytes([1, 3, 0, 0, 0]), b"", bytes([21, 2, 0, 0, 0]), bytes([1])]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
end = time.monotonic() + float(sys.argv[1])
sent = 0
while time.monotonic() < end:
    for kind in kinds:
        s.sendto(kind, ("127.0.0.1", 45041))
    sent += len(kinds)
print(sent)
"""


def test_a_flood_on_port_45041_neither_slows_the_tick_nor_drops_the_remote_app(start_hub, report):
    hub = start_hub()
    remote = Listeners((REMOTE_PORT,))
    try:
        hub.wait_ticking()
        connect_remote_app(hub, remote)
        baseline_start = time.time()
        time.sleep(3)
        baseline = stick_periods_ms(hub, baseline_start, time.time())

        seconds = 10
        flood = subprocess.Popen([sys.executable, "-c", FLOOD, str(seconds)], stdout=subprocess.PIPE, text=True)
        flood_start = time.time()
        while flood.poll() is None:
            remote.send(REMOTE_PORT, KEEP_ALIVE)
            time.sleep(0.1)
        flood_end = time.time()
        sent = int(flood.stdout.read())
        during = stick_periods_ms(hub, flood_start + 0.1, flood_end)

        assert hub.process.poll() is None, "the flood ended the hub" + hub.diagnosis()
        assert hub.driver.text(1024) == CONNECTED
        assert [d.data for d in remote.all()].count(CONNECTION_REPLY) == 1, "the remote app was dropped"
        statuses = [d.stamp for d in remote.all() if is_status(d.data) and flood_start <= d.stamp <= flood_end]
        report(f"{sent} datagrams in {seconds} s ({sent / seconds:.0f}/s); tick period at rest "
               f"{describe_periods(baseline)}; during the flood {describe_periods(during)}; "
               f"{len(statuses)} status datagrams, the remote app stayed connected")
        assert len(during) >= seconds * 1000 / TICK_MS * 0.9
        assert abs(statistics.median(during) - statistics.median(baseline)) < 2
        # A shared machine stalls a tick now and then with or without a
        # flood: the flood may not add more than one tick to those stalls.
        assert percentile(during, 0.99) <= max(percentile(baseline, 0.99), 2 * TICK_MS) + TICK_MS
        assert len(statuses) >= 2  # repeated at rest every 3500 ms
    finally:
        remote.close()
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_without_any_consumer_listening_the_hub_keeps_running(start_hub, report):
    hub = start_hub(listen_ports=())
    assert hub.driver.run("find 20000")[0], hub.diagnosis()
    hub.sim("set 0 y -300")
    assert hub.driver.wait_text(1011, "166")[0]  # ticking
    # Feeder output on and a remote app on the default endpoint: every
    # tested send of the tick now goes to a port nobody listens on.
    sender = Listeners((REMOTE_PORT,))
    try:
        sender.send(REMOTE_PORT, FEEDER_ENABLE)
        sender.send(REMOTE_PORT, inputs(128, 0))
        started = time.time()
        while time.time() - started < 3:
            assert hub.process.poll() is None, "a send to a closed port ended the hub" + hub.diagnosis()
            time.sleep(0.2)
        hub.sim("set 0 y 300")
        assert hub.driver.wait_text(1011, "89")[0]  # still ticking
        status_text = hub.driver.text(1024)
    finally:
        sender.close()
    hub.driver.must("key escape")
    status = hub.wait_exit()
    assert status == 0
    report(f"nothing on 45040, 45045 and 45042, feeder enabled, remote app on 45042: ran 3 s, kept ticking, "
           f"control 1024 showed \"{status_text}\", exit status {status} after Escape")


def test_a_stepdeck_lost_for_2_s_stops_the_ticks_and_they_resume_once_it_is_back(start_hub, report):
    hub = start_hub()
    hub.wait_ticking()
    acquires = int(hub.stats(0)["acquires"])
    hub.sim("fail 0 acquire always")
    hub.sim("fail 0 poll always")
    lost = time.time()
    time.sleep(0.2)
    hub.driver.must("command 1032")  # the dialog answers while the Stepdeck is lost
    assert hub.driver.text(1032) == "120%"
    time.sleep(1.8)
    hub.sim("fail 0 acquire off")
    back = time.time()
    hub.sim("fail 0 poll off")
    resumed = hub.listeners.wait_for(lambda d: d[0] == 0x2A, 3, STICK_PORT, since=back)
    assert resumed is not None, "the ticks did not resume" + hub.diagnosis()
    before = [d for d in hub.listeners.all(STICK_PORT) if d.stamp < resumed.stamp][-1]
    gap = resumed.stamp - before.stamp
    assert before.stamp < lost + 2 * TICK_MS / 1000  # nothing was sent while lost but the standing-still pair
    assert gap > 1.9
    assert resumed.stamp - back < 0.2
    assert int(hub.stats(0)["acquires"]) > acquires
    since = time.time()
    time.sleep(1)
    assert hub.listeners.count_after(STICK_PORT, since) >= 25
    report(f"no stick datagram for {gap * 1000:.0f} ms, ticks back {1000 * (resumed.stamp - back):.0f} ms "
           f"after the Stepdeck returned, {int(hub.stats(0)['acquires']) - acquires} acquire calls meanwhile")
    hub.driver.must("key escape")
    assert hub.wait_exit() == 0


def test_a_second_hub_ends_with_status_1_and_the_first_keeps_running(start_hub, report):
    first = start_hub()
    first.wait_ticking()
    started = time.time()
    # The second hub has its own simulator without a control port, and no
    # receivers of its own: the first hub's keep the consumers' ports.
    second = start_hub(listen_ports=(), sim_port=0)
    status = second.wait_exit(20)
    took = time.time() - started
    assert status == 1, second.diagnosis()
    assert first.process.poll() is None
    since = time.time()
    time.sleep(1)
    assert first.listeners.count_after(STICK_PORT, since) >= 25
    remote = Listeners((REMOTE_PORT,))
    try:
        assert_still_listening(first, remote)
    finally:
        remote.close()
    report(f"the second hub ended with status {status} after {took:.1f} s; the first kept ticking "
           f"and answering on 45041")
    first.driver.must("key escape")
    assert first.wait_exit() == 0
