<?php
/*
 * Plugin Name: Qubopost test bed
 * Description: What the test bed's WordPress must not do: send mail (installation notices,
 * password changes), and wait for itself: php -S serves one request at a time, so a request
 * WordPress makes to its own site while serving one (the installer's permalink probe, site
 * health's loopback checks) could only time out. Such a request fails at once instead.
 */

add_filter( 'pre_wp_mail', '__return_false' );

add_filter(
	'pre_http_request',
	function ( $response, $args, $url ) {
		$site = wp_parse_url( home_url() );
		$to   = wp_parse_url( $url );
		if ( isset( $to['host'], $to['port'] ) && $to['host'] === $site['host'] && (int) $to['port'] === (int) $site['port'] ) {
			return new WP_Error( 'testbed_self_request', 'The test bed serves one request at a time: no request to itself.' );
		}
		return $response;
	},
	10,
	3
);
