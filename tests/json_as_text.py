#!/usr/bin/env python3
"""Reads pravellon's JSON on standard input as a strict parser does and prints
what the text output of the same run says: its warning lines, as standard
error has them, then the report ('report VERSION'), or the dry run's lines
('changes CPUS NODES', the machine's counts).
A key missing, unknown, repeated or of the wrong type, or a number JSON does
not have, ends with a message and status 1."""
import json
import re
import sys


def fail(message):
    sys.exit('json_as_text: ' + message)


def unique_keys(pairs):
    if len(pairs) != len(dict(pairs)):
        fail('repeated key in %s' % [k for k, _ in pairs])
    return dict(pairs)


def fields(obj, required, optional=()):
    if not isinstance(obj, dict) or set(required) - set(obj) or set(obj) - set(required) - set(optional):
        fail('keys %s wanted, and no others but %s: %r' % (required, list(optional), obj))
    return obj


def typed(value, types):
    if isinstance(value, bool) != (types == bool) or not isinstance(value, types):
        fail('not %s: %r' % (types, value))
    return value


def num(value):
    return '%g' % typed(value, (int, float))


def report(j, version):
    fields(j, ['format', 'processor', 'reference_clock_mhz', 'multipliers', 'voltages', 'boost', 'pstates',
               'nb_pstates', 'differing_cores', 'differing_nodes', 'offline_cores', 'warnings'])
    cpu = fields(j['processor'], ['family', 'model', 'cores', 'nodes', 'cpus'])
    family, cores, nodes, cpus = (typed(cpu[k], int) for k in ('family', 'cores', 'nodes', 'cpus'))
    out = ['', 'Pravellon v' + version, '', '.:. General', '---',
           '  AMD family 0x%x, model 0x%x CPU, %d cores' % (family, typed(cpu['model'], int), cores)]
    if j['format'] != 1:
        fail('format %r' % j['format'])
    if nodes > 1 or cpus != cores:
        out.append('  %d node%s, %d CPU%s in all' % (nodes, 's' if nodes > 1 else '', cpus, 's' if cpus > 1 else ''))
    clock = j['reference_clock_mhz']
    m = fields(j['multipliers'], ['min', 'max'])
    v = fields(j['voltages'], ['min', 'max', 'step'])
    out += ['  Default reference clock: %s MHz' % num(clock),
            '  Available multipliers: %s .. %s' % (num(m['min']), num(m['max'])),
            '  Available voltage IDs: %s .. %s (%s steps)' % (num(v['min']), num(v['max']), num(v['step'])),
            '', '.:. Turbo', '---']
    boost = j['boost']
    if isinstance(boost, dict) and boost.get('supported') is False:
        fields(boost, ['supported'])
        out.append('  not supported')
    else:
        fields(boost, ['supported', 'enabled', 'locked'], ['max_multiplier'])
        typed(boost['supported'], bool)
        out.append('  enabled' if typed(boost['enabled'], bool) else '  disabled')
        out.append('  locked' if typed(boost['locked'], bool) else '  unlocked')
        if 'max_multiplier' in boost:
            out.append('  Max multiplier: ' + num(boost['max_multiplier']))

    ps = fields(j['pstates'], ['enabled', 'total', 'list'], ['boosted'])
    enabled = typed(ps['enabled'], int)
    out += ['', '.:. P-states', '---', '  %d of %d enabled (P0 .. P%d)' % (enabled, typed(ps['total'], int), enabled - 1)]
    if 'boosted' in ps:
        if not ps['boosted'] or ps['boosted'] != list(range(len(ps['boosted']))):
            fail('boosted %r' % ps['boosted'])
        out.append('  Turbo P-states:' + ''.join(' P%d' % n for n in ps['boosted']))
    out.append('  ---')
    if [p.get('index') for p in ps['list']] != list(range(enabled)):
        fail('P-states listed: %r' % ps['list'])
    for p in ps['list']:
        fields(p, ['index', 'multiplier', 'voltage', 'frequency_mhz'], ['nb_pstate', 'nb_voltage'])
        # Multiplier times reference clock, and neither for a clock the divisor cannot name.
        reserved = p['multiplier'] is None
        frequency = None if reserved else num(typed(p['multiplier'], (int, float)) * clock)
        if (None if p['frequency_mhz'] is None else num(p['frequency_mhz'])) != frequency:
            fail('frequency of P%d: %r' % (p['index'], p['frequency_mhz']))
        out.append('  P%d: %s at %sV' % (p['index'], 'reserved divisor' if reserved else num(p['multiplier']) + 'x',
                                        num(p['voltage'])))
        if 'nb_pstate' in p:
            out.append('      NorthBridge in NB_P%d' % typed(p['nb_pstate'], int)
                       + (' at %sV' % num(p['nb_voltage']) if 'nb_voltage' in p else ''))
        elif 'nb_voltage' in p:
            fail('nb_voltage without nb_pstate')
    lines = {}
    for d in j['differing_cores']:
        lines[typed(fields(d, ['core', 'in'])['core'], int)] = 'differs from core 0 in ' + ', '.join(d['in'])
    for core in j['offline_cores']:
        lines[typed(core, int)] = 'is offline'
    out += ['  Core %d %s' % (core, lines[core]) for core in sorted(lines)]
    for d in j['differing_nodes']:
        out.append('  Node %d differs from node 0 in %s' % (typed(fields(d, ['node', 'in'])['node'], int),
                                                          ', '.join(d['in'])))
    # Family 0x15 has the northbridge P-state registers, even when none is enabled.
    if family == 0x15:
        out.append('  ---')
    if [p.get('index') for p in j['nb_pstates']] != list(range(len(j['nb_pstates']))) or j['nb_pstates'] and family != 0x15:
        fail('NB P-states listed: %r' % j['nb_pstates'])
    for p in j['nb_pstates']:
        fields(p, ['index', 'multiplier', 'voltage'])
        out.append('  NB_P%d: %sx at %sV' % (p['index'], num(p['multiplier']), num(p['voltage'])))
    return out


def number_list(numbers):
    """'0-5', '3', '1-2,4', as the listing names cores."""
    runs = []
    for n in numbers:
        if runs and runs[-1][1] == typed(n, int) - 1:
            runs[-1][1] = n
        else:
            runs.append([n, n])
    return ','.join('%d' % a if a == b else '%d-%d' % (a, b) for a, b in runs)


def decoded(name, old, new):
    """A P-state's texts change as a whole; the other registers' texts are
    fields 'LABEL VALUE' joined with ', ', the label written once."""
    if re.match(r'(NB_)?P[0-9]+ \(', name):
        return old + ' -> ' + new
    pairs = []
    for a, b in zip(old.split(', '), new.split(', '), strict=True):
        label, _, before = a.rpartition(' ')
        if not b.startswith(label + ' '):
            fail('fields %r and %r' % (a, b))
        pairs.append('%s %s -> %s' % (label, before, b[len(label) + 1:]))
    return ', '.join(pairs)


def changes(j, cpus, nodes):
    fields(j, ['format', 'dry_run', 'changed', 'changes', 'warnings'])
    if j['format'] != 1 or not typed(j['dry_run'], bool) or typed(j['changed'], bool) != bool(j['changes']):
        fail('format, dry_run or changed: %r' % j)
    out = []
    for c in j['changes']:
        if out and out[-1].startswith('would switch'):
            fail('the switch is not last')
        if 'switch_to' in c:
            fields(c, ['switch_to', 'cores'])
            out.append('would switch core%s %s to P%d' % ('s' if len(c['cores']) > 1 else '', number_list(c['cores']),
                                                        typed(c['switch_to'], int)))
            continue
        where = 'nodes' if 'nodes' in c else 'cores'
        fields(c, ['register', where, 'old', 'new'], ['old_text', 'new_text'])
        line = 'would change ' + c['register']
        if (cpus if where == 'cores' else nodes) > 1:
            line += ' on %s%s %s' % (where[:-1], 's' if len(c[where]) > 1 else '', number_list(c[where]))
        if any(not re.fullmatch('0x(0|[1-9a-f][0-9a-f]*)', typed(c[k], str)) for k in ('old', 'new')):
            fail('not a register value: %r' % c)
        line += ': %s -> %s' % (c['old'], c['new'])
        if ('old_text' in c) != ('new_text' in c):
            fail('old_text without new_text, or the other way round')
        if 'old_text' in c:
            line += ': ' + decoded(c['register'], c['old_text'], c['new_text'])
        out.append(line)
    return out or ['nothing would change']


def main():
    def constant(name):
        fail('%s is not JSON' % name)
    try:
        j = json.loads(sys.stdin.read(), object_pairs_hook=unique_keys, parse_constant=constant)
    except ValueError as e:
        fail(str(e))
    if sys.argv[1:2] == ['report']:
        lines = report(j, sys.argv[2])
    elif sys.argv[1:2] == ['changes']:
        lines = changes(j, int(sys.argv[2]), int(sys.argv[3]))
    else:
        fail('usage: json_as_text.py report VERSION | changes CPUS NODES')
    warnings = ['WARNING: ' + typed(w, str) for w in typed(j['warnings'], list)]
    sys.stdout.write(''.join(line + '\n' for line in warnings + lines))


main()
