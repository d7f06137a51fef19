// What the page's Chromium tests and benchmarks share: the first line a started program
// prints, stopping it by its process ID, bounded waiting on a condition, and one command on
// an ipmi_sim emulator console.
import { createConnection } from 'node:net';

export const BOUND_MS = 15000;

// The first line the child prints on standard output (its address or JSON), within bound.
export function firstLine(child, what, bound = 30000) {
  return new Promise((done, fail) => {
    let output = '';
    const timer = setTimeout(() => fail(new Error(`${what} printed nothing`)), bound);
    child.on('error', fail);
    child.on('exit', (code) => fail(new Error(`${what} exited with ${code}`)));
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const newline = output.indexOf('\n');
      if (newline >= 0) {
        clearTimeout(timer);
        done(output.slice(0, newline));
      }
    });
  });
}

// SIGTERM, then SIGKILL when the child has not gone within bound.
export async function stopChild(child, bound = BOUND_MS) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return;
  const exited = new Promise((done) => child.once('exit', done));
  process.kill(child.pid, 'SIGTERM');
  await Promise.race([exited, new Promise((done) => setTimeout(done, bound))]);
  if (child.exitCode === null && child.signalCode === null) process.kill(child.pid, 'SIGKILL');
}

// The first truthy value of check, looked at every 100 ms; an error after bound.
export async function until(check, what, bound = BOUND_MS) {
  const deadline = Date.now() + bound;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((done) => setTimeout(done, 100));
  }
}

// One emulation command (man ipmi_sim_cmd) on a simulator's console (telnet, prompt "> "):
// connect, read to the prompt, send the line, read to the next prompt, close. The simulator
// dies if a client leaves while it writes, so the answer is always read in full first.
export function emulatorCommand(host, port, command, bound = BOUND_MS) {
  return new Promise((done, fail) => {
    const socket = createConnection({ host, port });
    let text = '';
    let sent = false;
    const timer = setTimeout(() => {
      socket.destroy();
      fail(new Error(`no prompt from the emulator console after "${command}"`));
    }, bound);
    socket.on('error', (e) => {
      clearTimeout(timer);
      fail(e);
    });
    socket.on('data', (chunk) => {
      // Telnet negotiations are 0xFF, verb, option; the answer lines end in "\n\r".
      for (let i = 0; i < chunk.length; i++) {
        if (chunk[i] === 0xff) i += 2;
        else if (chunk[i] !== 0x0d) text += String.fromCharCode(chunk[i]);
      }
      if (!text.endsWith('> ')) return;
      if (!sent) {
        sent = true;
        text = '';
        socket.write(`${command}\n`);
        return;
      }
      clearTimeout(timer);
      socket.end();
      const reply = text.slice(text.indexOf('\n') + 1, -2);
      if (reply.startsWith('**')) fail(new Error(`emulator console: ${reply.trim()}`));
      else done(reply);
    });
  });
}
