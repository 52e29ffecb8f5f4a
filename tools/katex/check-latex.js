// Reads velkor's --format=latex-body output on standard input and renders
// every equation (each \begin{align*} ... \end{align*} block) with KaTeX.
// Prints each equation that does not parse with KaTeX's message and exits
// with status 1 if there is one; exits with status 1 as well when the input
// holds no equation at all.
'use strict';
const katex = require('katex');

let input = '';
process.stdin.setEncoding('utf8');
process.stdin.on('data', (chunk) => { input += chunk; });
process.stdin.on('end', () => {
  const blocks = input.match(/\\begin\{align\*\}[\s\S]*?\\end\{align\*\}/g) || [];
  let failures = 0;
  for (const block of blocks) {
    try {
      katex.renderToString(block, { displayMode: true, throwOnError: true, strict: 'error' });
    } catch (error) {
      failures += 1;
      console.error(`${error.message}\n  in: ${block.slice(0, 400)}`);
    }
  }
  console.log(`${blocks.length} equations, ${failures} not parsed`);
  process.exit(blocks.length === 0 || failures > 0 ? 1 : 0);
});
