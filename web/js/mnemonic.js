// Menu and control texts mark their keyboard mnemonic with '&' ("Add &New Server Node");
// "&&" stands for a literal ampersand. splitMnemonic returns the text around the marked
// character so it can be drawn underlined.
export function splitMnemonic(text) {
  const parts = { before: '', key: '', after: '' };
  let target = 'before';
  for (let i = 0; i < text.length; i++) {
    let c = text[i];
    if (c === '&') {
      if (i + 1 >= text.length) break; // a lone trailing '&' marks nothing
      c = text[++i];
      if (c !== '&' && !parts.key) {
        parts.key = c;
        target = 'after';
        continue;
      }
    }
    parts[target] += c;
  }
  return parts;
}

export function plainText(text) {
  const { before, key, after } = splitMnemonic(text);
  return before + key + after;
}

// Appends the text to the element with the mnemonic underlined.
export function appendMnemonic(element, text) {
  const { before, key, after } = splitMnemonic(text);
  element.append(before);
  if (key) {
    const u = document.createElement('u');
    u.textContent = key;
    element.append(u);
  }
  element.append(after);
}
