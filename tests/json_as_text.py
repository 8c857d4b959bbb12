#!/usr/bin/env python3
"""Reads pravellon's JSON on standard input as a strict parser would and prints
what the text output of the same run says: the report ('report VERSION').
A key missing, unknown, repeated or of the wrong type, or a number JSON does
not have, ends with a message and status 1."""
import json
import sys


def fail(message):
    sys.exit('json_as_text: ' + message)


def unique_keys(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        fail('repeated key in %s' % keys)
    return dict(pairs)


def fields(obj, required, optional=()):
    if not isinstance(obj, dict):
        fail('not an object: %r' % (obj,))
    missing = set(required) - set(obj)
    unknown = set(obj) - set(required) - set(optional)
    if missing or unknown:
        fail('missing %s, unknown %s in %r' % (sorted(missing), sorted(unknown), obj))
    return obj


def num(value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        fail('not a number: %r' % (value,))
    return '%g' % value


def integer(value):
    if isinstance(value, bool) or not isinstance(value, int):
        fail('not an integer: %r' % (value,))
    return value


def boolean(value):
    if not isinstance(value, bool):
        fail('not a boolean: %r' % (value,))
    return value


def report(j, version):
    fields(j, ['format', 'processor', 'reference_clock_mhz', 'multipliers', 'voltages', 'boost', 'pstates',
               'nb_pstates', 'differing_cores'])
    if j['format'] != 1:
        fail('format %r' % j['format'])
    cpu = fields(j['processor'], ['family', 'model', 'cores'])
    out = ['', 'Pravellon v' + version, '', '.:. General', '---',
           '  AMD family 0x%x, model 0x%x CPU, %d cores' % (integer(cpu['family']), integer(cpu['model']),
                                                          integer(cpu['cores']))]
    clock = j['reference_clock_mhz']
    out.append('  Default reference clock: %s MHz' % num(clock))
    m = fields(j['multipliers'], ['min', 'max'])
    out.append('  Available multipliers: %s .. %s' % (num(m['min']), num(m['max'])))
    v = fields(j['voltages'], ['min', 'max', 'step'])
    out.append('  Available voltage IDs: %s .. %s (%s steps)' % (num(v['min']), num(v['max']), num(v['step'])))

    out += ['', '.:. Turbo', '---']
    boost = j['boost']
    if isinstance(boost, dict) and boost.get('supported') is False:
        fields(boost, ['supported'])
        out.append('  not supported')
    else:
        fields(boost, ['supported', 'enabled', 'locked'], ['max_multiplier'])
        boolean(boost['supported'])
        out.append('  enabled' if boolean(boost['enabled']) else '  disabled')
        out.append('  locked' if boolean(boost['locked']) else '  unlocked')
        if 'max_multiplier' in boost:
            out.append('  Max multiplier: ' + num(boost['max_multiplier']))

    out += ['', '.:. P-states', '---']
    ps = fields(j['pstates'], ['enabled', 'total', 'list'], ['boosted'])
    enabled = integer(ps['enabled'])
    out.append('  %d of %d enabled (P0 .. P%d)' % (enabled, integer(ps['total']), enabled - 1))
    if 'boosted' in ps:
        if not ps['boosted'] or ps['boosted'] != list(range(len(ps['boosted']))):
            fail('boosted %r' % ps['boosted'])
        out.append('  Turbo P-states:' + ''.join(' P%d' % n for n in ps['boosted']))
    out.append('  ---')
    if len(ps['list']) != enabled:
        fail('%d P-states listed' % len(ps['list']))
    for i, p in enumerate(ps['list']):
        fields(p, ['index', 'multiplier', 'voltage', 'frequency_mhz'], ['nb_pstate', 'nb_voltage'])
        if integer(p['index']) != i:
            fail('P-state %d has index %r' % (i, p['index']))
        known = p['multiplier'] >= 0
        if (num(p['frequency_mhz']) if known else p['frequency_mhz']) != (num(p['multiplier'] * clock) if known else None):
            fail('frequency of P%d: %r' % (i, p['frequency_mhz']))
        out.append('  P%d: %sx at %sV' % (i, num(p['multiplier']), num(p['voltage'])))
        if 'nb_pstate' in p:
            out.append('      NorthBridge in NB_P%d' % integer(p['nb_pstate'])
                       + (' at %sV' % num(p['nb_voltage']) if 'nb_voltage' in p else ''))
        elif 'nb_voltage' in p:
            fail('nb_voltage without nb_pstate')
    for d in j['differing_cores']:
        fields(d, ['core', 'in'])
        out.append('  Core %d differs from core 0 in %s' % (integer(d['core']), ', '.join(d['in'])))
    # Family 0x15 has the northbridge P-state registers, even when none is enabled.
    if cpu['family'] == 0x15:
        out.append('  ---')
    elif j['nb_pstates']:
        fail('northbridge P-states on family 0x%x' % cpu['family'])
    for i, p in enumerate(j['nb_pstates']):
        fields(p, ['index', 'multiplier', 'voltage'])
        if integer(p['index']) != i:
            fail('NB_P%d has index %r' % (i, p['index']))
        out.append('  NB_P%d: %sx at %sV' % (i, num(p['multiplier']), num(p['voltage'])))
    return out


def main():
    def constant(name):
        fail('%s is not JSON' % name)
    try:
        j = json.loads(sys.stdin.read(), object_pairs_hook=unique_keys, parse_constant=constant)
    except ValueError as e:
        fail(str(e))
    if sys.argv[1] == 'report':
        lines = report(j, sys.argv[2])
    else:
        fail('usage: json_as_text.py report VERSION')
    sys.stdout.write(''.join(line + '\n' for line in lines))


main()
