#!/usr/bin/env python3
# Turns a udp_relay.py log into a commented .hex capture for tests/data: one datagram per
# line, each preceded by notes on what it is. RAKP codes, RAKP 4 check values and AuthCodes
# are verified with the known password, payloads of AES-CBC-128 sessions decrypted.
# Usage: annotate_rmcp.py LOG PASSWORD TITLE [HEADER-LINES-SEPARATED-BY-\n] > file.hex
# Needs python3-cryptography. Handles one session per log, suites 0-3, 6, 11.
import hashlib, hmac, struct, sys
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

log, password, title = sys.argv[1], sys.argv[2].encode(), sys.argv[3]
header = sys.argv[4] if len(sys.argv) > 4 else ""

kuid = password.ljust(20, b"\0")
st = {}
out = []

CMDS = {(0x06, 0x38): "Get Channel Authentication Capabilities", (0x06, 0x3B): "Set Session Privilege Level",
        (0x06, 0x01): "Get Device ID", (0x06, 0x3C): "Close Session", (0x2C, 0x00): "Get PICMG Properties",
        (0x2C, 0x3E): "Get HPM.x Capabilities", (0x06, 0x54): "Get Channel Cipher Suites",
        (0x06, 0x37): "Get System GUID", (0x06, 0x39): "Get Session Challenge", (0x2E, 0x01): "OEM"}

def hm(key, data):
    if st.get("auth") == 2:
        return hmac.new(key[:16], data, hashlib.md5).digest()
    return hmac.new(key, data, hashlib.sha1).digest()

def ipmi_desc(m, direction):
    if len(m) < 7:
        return "short IPMI message"
    netfn = m[1] >> 2
    if direction == "<":
        cmd = m[5]; name = CMDS.get((netfn & ~1, cmd), "netFn %02Xh cmd %02Xh" % (netfn, cmd))
        return "%s response, rqSeq %d, completion code %02Xh" % (name, m[4] >> 2, m[6])
    cmd = m[5]; name = CMDS.get((netfn, cmd), "netFn %02Xh cmd %02Xh" % (netfn, cmd))
    return "%s request, rqSeq %d" % (name, m[4] >> 2)

def describe(d, direction):
    notes = []
    if d[3] == 6:
        return ["ASF " + ("Presence Ping" if d[8] == 0x80 else "Presence Pong" if d[8] == 0x40 else "type %02Xh" % d[8])]
    at = d[4]
    if at != 6:
        sid = struct.unpack("<I", d[9:13])[0]
        off = 13 if at == 0 else 29
        m = d[off + 1: off + 1 + d[off]]
        notes.append("IPMI v1.5 session header, auth type %02Xh, session ID %08Xh: %s" % (at, sid, ipmi_desc(m, direction)))
        return notes
    pt = d[5]; ptype = pt & 0x3F
    sid, seq, ln = struct.unpack("<IIH", d[6:16])
    pl = d[16:16 + ln]
    if ptype == 0x10:
        st["csid"] = pl[4:8]; st["auth"] = pl[12]; st["integ"] = pl[20]; st["conf"] = pl[28]
        notes.append("RMCP+ Open Session Request: max privilege %d, auth %d, integrity %d, confidentiality %d" % (pl[1], pl[12], pl[20], pl[28]))
    elif ptype == 0x11:
        notes.append("RMCP+ Open Session Response: status %02Xh" % pl[1])
        if pl[1] == 0:
            st["bsid"] = pl[8:12]; st["auth"] = pl[16]; st["integ"] = pl[24]; st["conf"] = pl[32]
            notes.append("  max privilege %d, managed system session ID %08Xh" % (pl[2], struct.unpack("<I", pl[8:12])[0]))
    elif ptype == 0x12:
        st["rm"] = pl[8:24]; st["role"] = pl[24]; st["uname"] = pl[28:28 + pl[27]]
        notes.append("RAKP Message 1: role %02Xh, user name '%s'" % (pl[24], st["uname"].decode()))
    elif ptype == 0x13:
        notes.append("RAKP Message 2: status %02Xh" % pl[1])
        st["rc"] = pl[8:24]; st["guid"] = pl[24:40]
        data = st["csid"] + st["bsid"] + st["rm"] + st["rc"] + st["guid"] + bytes([st["role"], len(st["uname"])]) + st["uname"]
        ok = pl[40:] == hm(kuid, data)[:len(pl) - 40]
        notes.append("  key exchange auth code %s the one computed from the password" % ("matches" if ok else "does NOT match"))
        sik = hm(kuid, st["rm"] + st["rc"] + bytes([st["role"], len(st["uname"])]) + st["uname"])
        st["sik"] = sik; st["k1"] = hm(sik, b"\x01" * 20); st["k2"] = hm(sik, b"\x02" * 20)
        if pl[1] == 0:
            notes.append("  SIK = %s" % sik.hex())
            notes.append("  K1  = %s" % st["k1"].hex())
            notes.append("  K2  = %s" % st["k2"].hex())
    elif ptype == 0x14:
        notes.append("RAKP Message 3: status %02Xh" % pl[1])
        data = st["rc"] + st["csid"] + bytes([st["role"], len(st["uname"])]) + st["uname"]
        ok = pl[8:] == hm(kuid, data)[:len(pl) - 8]
        notes.append("  key exchange auth code %s the one computed from the password" % ("matches" if ok else "does NOT match"))
    elif ptype == 0x15:
        notes.append("RAKP Message 4: status %02Xh" % pl[1])
        if pl[1] == 0:
            icv = hm(st["sik"], st["rm"] + st["bsid"] + st["guid"])
            ok = pl[8:] == icv[:len(pl) - 8]
            notes.append("  integrity check value %s HMAC(SIK, Rm | SIDc | GUIDc) truncated to %d bytes" % ("matches" if ok else "does NOT match", len(pl) - 8))
    elif ptype == 0:
        desc = "RMCP+ IPMI payload, %sauthenticated, %sencrypted, session ID %08Xh, sequence %d, payload length %d" % ("" if pt & 0x40 else "un", "" if pt & 0x80 else "un", sid, seq, ln)
        notes.append(desc)
        if pt & 0x40:
            tr = d[16 + ln:]
            alen = {1: 12, 2: 16, 3: 16}[st["integ"]]
            ac = tr[-alen:]
            covered = d[4:len(d) - alen]
            if st["integ"] == 1:
                exp = hmac.new(st["k1"], covered, hashlib.sha1).digest()[:12]; kind = "HMAC-SHA1-96 keyed by K1"
            elif st["integ"] == 3:
                pw = password.ljust(20, b"\0"); exp = hashlib.md5(pw + covered + pw).digest(); kind = "MD5(password padded to 20 | data | password padded to 20)"
            else:
                exp = b""; kind = "?"
            notes.append("  trailer: integrity pad %s, pad length %d, next header %02Xh, AuthCode %s" % (
                tr[:-alen - 2].hex(" ") or "(none)", tr[-alen - 2], tr[-alen - 1], "matches " + kind if ac == exp else "does NOT match " + kind))
            notes.append("  AuthCode covers bytes 4..%d (auth type through next header)" % (len(d) - alen - 1))
        if pt & 0x80:
            iv, c = pl[:16], pl[16:]
            p = Cipher(algorithms.AES(st["k2"][:16]), modes.CBC(iv)).decryptor()
            p = p.update(c) + p.finalize()
            n = p[-1]
            m = p[:-1 - n]
            notes.append("  AES-CBC-128 (K2[0..15]) plaintext: %s | pad %s | pad length %d" % (m.hex(" "), p[-1 - n:-1].hex(" ") or "(none)", n))
        else:
            m = pl
        notes.append("  " + ipmi_desc(m, direction))
    return notes

lines = [l.split() for l in open(log) if l.strip()]
for n, (direction, h) in enumerate(lines, 1):
    d = bytes.fromhex(h)
    who = "console -> BMC" if direction == ">" else "BMC -> console"
    out.append("")
    out.append("# %d: %s, %d bytes" % (n, who, len(d)))
    for note in describe(d, direction):
        out.append("#   " + note)
    out.append(d.hex(" "))

print("# " + title)
for l in header.split("\\n"):
    if l: print("# " + l)
print("# Format: one datagram per non-comment line (RMCP header first, as sent on UDP);")
print("# '#' starts a comment. Notes were derived from the datagrams and the password")
print("# by the capture script (Python hmac/hashlib and the 'cryptography' package).")
print("\n".join(out))
