// The page's mnemonic splitting: '&' marks the underlined key, '&&' is a literal ampersand.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { plainText, splitMnemonic } from '../../web/js/mnemonic.js';

test('splits menu texts around their mnemonic', () => {
  const cases = [
    ['Add &New Server Node', { before: 'Add ', key: 'N', after: 'ew Server Node' }],
    ['&Connect Current Server', { before: '', key: 'C', after: 'onnect Current Server' }],
    ['Help Contents', { before: 'Help Contents', key: '', after: '' }],
    ['Save && &Quit', { before: 'Save & ', key: 'Q', after: 'uit' }],
    ['&Load && &Go', { before: '', key: 'L', after: 'oad & Go' }],
    ['Trailing &', { before: 'Trailing ', key: '', after: '' }],
    ['', { before: '', key: '', after: '' }],
  ];
  for (const [text, expected] of cases) {
    assert.deepEqual(splitMnemonic(text), expected, text);
  }
});

test('plain text drops the markers only', () => {
  assert.equal(plainText('D&elete Selected Server Node'), 'Delete Selected Server Node');
  assert.equal(plainText('Pri&vilege:'), 'Privilege:');
  assert.equal(plainText('A && B'), 'A & B');
});
